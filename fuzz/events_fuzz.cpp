// DispatchNotification on sequences of notifications interleaved with
// EnableEvent, DisableEvent and SetEventHandler, also from inside the
// handler (0/1 notify, 2 enable, 3 disable, 4 queue an operation for the
// handler's next call, 5 set the handler), against a model of the delivery rules: every delivery (and every
// missing one) is checked. Input: a stream of operations.
#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

#include "fuzz_service.h"
#include "lmvx.h"
#include "session/events.h"

namespace {

constexpr int32_t kAll = 0xFFFF, k105 = 0x105;

// The delivery rules, stated on their own.
struct Model {
    int handler = 0;  // 0 none, 1 or 2
    bool muted = false, event105 = false;
    std::set<int32_t> disabled;

    void Enable(int32_t type) {
        muted = false;
        if (type == kAll) disabled.clear();
        else if (type == k105) event105 = true;
        else disabled.erase(type);
    }
    void Disable(int32_t type) {
        if (type == kAll) {
            muted = true;
            disabled.clear();
            event105 = false;
        } else if (type == k105) {
            event105 = false;
        } else {
            muted = false;
            disabled.insert(type);
        }
    }
    // The event delivered for a notification, or 0 for none.
    int32_t Deliver(uint64_t code, uint64_t value) const {
        int32_t type;
        switch (code) {
            case 0x10: case 0x12: case 0x14: case 0x16: case 0x18: case 0x1A: case 0x60: case 0xDC:
            case 0x100: case 0x101: case 0x102:
                type = static_cast<int32_t>(code);
                break;
            case 0x103: type = value == 1 ? 0x103 : 0x104; break;
            case 0x104: return event105 && handler != 0 ? k105 : 0;
            default: return 0;
        }
        if (handler == 0 || muted || disabled.count(type) != 0) return 0;
        return type;
    }
};

struct Call {
    int handler;
    int32_t type;
};

Model model;
std::vector<Call> calls;
// An operation the handler performs from inside its next call.
struct Op {
    uint8_t kind;
    int32_t type;
};
std::vector<Op> inside;

void Apply(const Op& op);

void Handle(int which, LvxDataType type) {
    calls.push_back({which, type});
    if (!inside.empty()) {
        const Op op = inside.back();
        inside.pop_back();
        Apply(op);
    }
}
void HandlerOne(LvxDataType type) { Handle(1, type); }
void HandlerTwo(LvxDataType type) { Handle(2, type); }

void Apply(const Op& op) {
    switch (op.kind % 3) {
        case 0: EnableEvent(op.type); model.Enable(op.type); break;
        case 1: DisableEvent(op.type); model.Disable(op.type); break;
        case 2: {
            const int which = static_cast<int>(static_cast<uint32_t>(op.type) % 3);
            SetEventHandler(which == 0 ? nullptr : which == 1 ? HandlerOne : HandlerTwo);
            model.handler = which;
            break;
        }
    }
}

constexpr uint64_t kCodes[] = {0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x60, 0xDC, 0x100, 0x101,
                               0x102, 0x103, 0x104, 0x105, 0x11, 0, 0xFFFF, 0x10000000010};
constexpr int32_t kTypes[] = {0x10, 0x12, 0x14, 0x60, 0xDC, 0x100, 0x102, 0x103, 0x104, 0x105, kAll, -1, 0};

struct Reader {
    const uint8_t* data;
    size_t size, at = 0;
    bool More() const { return at < size; }
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    uint64_t Raw64() {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = v << 8 | Byte();
        return v;
    }
    int32_t Type() {
        const uint8_t b = Byte();
        if (b < 0xF0) return kTypes[b % (sizeof kTypes / sizeof kTypes[0])];
        return static_cast<int32_t>(Raw64());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Back to the load-time subscriptions.
    SetEventHandler(nullptr);
    EnableEvent(kAll);
    DisableEvent(k105);
    model = Model{};
    inside.clear();

    Reader in{data, size};
    for (int steps = 0; in.More() && steps < 4096; ++steps) {
        const uint8_t op = in.Byte();
        switch (op % 6) {
            case 0:
            case 1: {
                const uint8_t pick = in.Byte();
                const uint64_t code = pick < 0xF0 ? kCodes[pick % (sizeof kCodes / sizeof kCodes[0])] : in.Raw64();
                const uint64_t value = (op & 0x80) ? in.Raw64() : in.Byte() % 3;
                const int32_t expected = model.Deliver(code, value);
                const int handler = model.handler;
                const size_t before = calls.size();
                // Operations queued for inside the handler run after the
                // delivery is recorded, so the model applies them afterwards.
                lmvx::DispatchNotification(code, value);
                if (expected == 0) {
                    FUZZ_CHECK(calls.size() == before);
                } else {
                    FUZZ_CHECK(calls.size() == before + 1);
                    FUZZ_CHECK(calls[before].handler == handler && calls[before].type == expected);
                }
                break;
            }
            case 2: Apply({0, in.Type()}); break;
            case 3: Apply({1, in.Type()}); break;
            case 4: inside.push_back({in.Byte(), in.Type()}); break;
            case 5: Apply({2, in.Type()}); break;
        }
        if (calls.size() > 1024) calls.clear();
    }
    SetEventHandler(nullptr);
    calls.clear();
    return 0;
}

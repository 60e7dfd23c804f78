// DispatchNotification on streams of notifications mixed with EnableEvent,
// DisableEvent and SetEventHandler, also from inside the handler, against a
// model of the delivery rules: every delivery, and every one missing, is
// checked. Input: operations of two bytes, a kind and an argument.
#include <algorithm>
#include <set>

#include "fuzz_service.h"
#include "lmvx.h"
#include "session/events.h"

namespace {

constexpr int32_t kAll = 0xFFFF, k105 = 0x105;
// The first eleven pass as events of their own code.
constexpr uint64_t kCodes[] = {0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x60, 0xDC, 0x100, 0x101, 0x102, 0x103, 0x104,
                               0x105, 0x11, 0, 0xFFFF, 0x10000000010};
constexpr int32_t kTypes[] = {0x10, 0x12, 0x60, 0xDC, 0x100, 0x102, 0x103, 0x104, 0x105, kAll, -1, 0};

struct Model {
    int handler = 0;  // none, HandlerOne or HandlerTwo
    bool muted = false, event105 = false;
    std::set<int32_t> disabled;
    // The event delivered for a notification; 0 for none.
    int32_t Deliver(uint64_t code, uint64_t value) const {
        if (handler == 0) return 0;
        if (code == 0x104) return event105 ? k105 : 0;
        const bool passed = std::find(kCodes, kCodes + 11, code) != kCodes + 11;  // as they are
        const int32_t type = code == 0x103 ? (value == 1 ? 0x103 : 0x104) : static_cast<int32_t>(code);
        return (passed || code == 0x103) && !muted && disabled.count(type) == 0 ? type : 0;
    }
} model;

std::vector<std::pair<int, int32_t>> calls;       // (handler, event)
std::vector<std::pair<uint8_t, uint8_t>> inside;  // operations for the handler's next call

void Apply(uint8_t kind, uint8_t argument);

// A handler's call: recorded, then the operation queued for inside it.
void Called(int handler, LvxDataType type) {
    calls.emplace_back(handler, type);
    if (inside.empty()) return;
    const auto [kind, argument] = inside.back();
    inside.pop_back();
    Apply(kind, argument);
}
void HandlerOne(LvxDataType type) { Called(1, type); }
void HandlerTwo(LvxDataType type) { Called(2, type); }

void Apply(uint8_t kind, uint8_t argument) {
    const int32_t type = kTypes[argument % std::size(kTypes)];
    const LvxEventHandler handlers[] = {nullptr, HandlerOne, HandlerTwo};
    switch (kind % 3) {
        case 0:  // enable: unmutes; all clears the disabled set
            EnableEvent(type);
            model.muted = false;
            if (type == k105) model.event105 = true;
            if (type == kAll) model.disabled.clear();
            model.disabled.erase(type);
            break;
        case 1:  // disable: all mutes and clears, 0x105 has its own switch
            DisableEvent(type);
            if (type == kAll) model = {model.handler, true, false, {}};
            else if (type == k105) model.event105 = false;
            else model.muted = false, model.disabled.insert(type);
            break;
        default:
            SetEventHandler(handlers[argument % 3]);
            model.handler = argument % 3;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SetEventHandler(nullptr);  // back to the load-time subscriptions
    EnableEvent(kAll);
    DisableEvent(k105);
    model = {};
    calls.clear();
    inside.clear();
    for (size_t at = 0; at + 1 < size; at += 2) {
        const uint8_t kind = data[at], argument = data[at + 1];
        if (kind % 5 == 3) inside.emplace_back(kind / 5, argument);
        if (kind % 5 < 3) Apply(kind % 5, argument);
        if (kind % 5 != 4) continue;
        // A notification (the model first: the handler may change it); a
        // large code whose low bits name an event stands for none.
        const uint64_t code = argument < 0xE0 ? kCodes[argument % std::size(kCodes)] : uint64_t{argument} << 40 | 0x10;
        const int32_t expected = model.Deliver(code, kind >> 5);
        const int handler = model.handler;
        const size_t before = calls.size();
        lmvx::DispatchNotification(code, kind >> 5);
        FUZZ_CHECK(calls.size() == before + (expected != 0));
        FUZZ_CHECK(expected == 0 || calls[before] == std::make_pair(handler, expected));
    }
    SetEventHandler(nullptr);
    return 0;
}

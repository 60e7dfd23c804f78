// The fuzz targets, one per build (LMVX_FUZZ_TARGET names the function), over
// the library with the unit tests' fake seam, whose pipe answers with bytes
// the fuzzer chose. Each checks an independent statement of what the code
// must do; a broken one stops the run as a crash.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fakes/fake_os.h"
#include "link/exchange.h"
#include "link/protection.h"
#include "session/connection.h"
#include "session/events.h"

#define FUZZ_CHECK(c) if (!(c)) std::fprintf(stderr, "invariant broken: %s\n", #c), std::abort()

// Every transaction is answered with `reply` (one longer than the room fails).
void AnswerWith(std::vector<uint8_t> reply) {
    fake::Os().Reset(), fake::Os().SetPipe([reply = std::move(reply)](auto, auto) { return std::optional(reply); });
}

// ExchangeRecord on any reply the pipe can deliver (0 to 12048 bytes, and
// longer ones the pipe refuses). Input: a flag byte, then
// the reply. Flag bit 0: protect the reply as a service would first (so that
// whole records with good checksums are explored); bit 1: with result 1.
void Reply(const uint8_t* data, size_t size) {
    if (size == 0) return;
    std::vector<uint8_t> reply(data + 1, data + size);
    const uint32_t n = static_cast<uint32_t>(reply.size()), one = 1;
    if ((data[0] & 2) != 0 && n >= 12) std::memcpy(reply.data() + 8, &one, 4);
    if ((data[0] & 1) != 0 && n >= 2 && n <= lmvx::kBufferSize) lmvx::ProtectBlock(reply.data(), n);
    // Only a whole verified block is taken, unmasked, whatever its result;
    // else the record stays. It verifies when the last byte is the sum of the
    // others, all unmasked, modulo 256.
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < n; ++i) sum += reply[i] ^ lmvx::MaskByte(i);
    const bool whole = n >= lmvx::kProtectedSize && n <= lmvx::kBufferSize && n % 16 == 0 &&
                       sum == (reply[n - 1] ^ lmvx::MaskByte(n - 1));
    AnswerWith(reply);
    lmvx::ServiceRecord record = lmvx::ServiceRecord::Request(2);
    const bool ok = lmvx::ExchangeRecord(&record);
    FUZZ_CHECK(fake::Os().pipeCalls == (whole ? 1u : 3u) && ok == (whole && (record.result & 0xFFFFu) == 1));
    for (uint32_t i = 0; i < lmvx::kRecordSize; ++i)
        FUZZ_CHECK(record.Bytes()[i] == (whole ? reply[i] ^ lmvx::MaskByte(i) : lmvx::ServiceRecord::Request(2).Bytes()[i]));
}

std::vector<uint8_t> storage;  // a caller's buffer of exactly its size, each byte 0xA5
template <typename T> T* Filled(size_t count = 1) {
    storage.assign(sizeof(T) * count, 0xA5);
    return reinterpret_cast<T*>(storage.data());
}
bool Untouched(const void* begin, const void* end) {
    return std::all_of(static_cast<const uint8_t*>(begin), static_cast<const uint8_t*>(end), [](uint8_t b) { return b == 0xA5; });
}
// Names below the count end within their slot; slots from the count on are
// untouched.
template <size_t kSlots> void CheckSlots(const LvxChar (&slots)[kSlots][LVX_NAME_UNITS], uint32_t count) {
    FUZZ_CHECK(count <= kSlots && Untouched(slots + count, slots + kSlots));
    for (uint32_t i = 0; i < count; ++i) FUZZ_CHECK(std::count(slots[i], slots[i] + LVX_NAME_UNITS, 0) != 0);
}

// Every list decoder, through the exports while Connected, with the reply
// made of the input, protected with its size and result 1. Input: the
// export, a byte left unused, the capacity, then the reply record.
void Decoders(const uint8_t* data, size_t size) {
    if (size < 3) return;
    const uint32_t which = data[0] % 3, capacity = data[2] % 40;
    lmvx::ServiceRecord record{};
    std::memcpy(&record, data + 3, std::min(size - 3, sizeof record));
    record.size = lmvx::kRecordSize, record.result = 1;
    const lmvx::ProtectedBlock block = lmvx::EncryptRecord(record);
    AnswerWith({block.buffer.get(), block.buffer.get() + block.size});
    lmvx::ConnectionState = lmvx::kConnected;
    if (which == 0) {
        uint32_t* values = Filled<uint32_t>(capacity);
        const uint64_t listed = GetSupportedInputSources(values, capacity);
        FUZZ_CHECK(listed <= 26 && Untouched(values + std::min<uint64_t>(listed, capacity), values + capacity));
    } else if (which == 1) {
        int32_t* modes = Filled<int32_t>(capacity);
        const uint64_t n = GetSupportedDisplayModes(modes, capacity);
        FUZZ_CHECK(n <= capacity && Untouched(modes + n, modes + capacity) &&
                   std::all_of(modes, modes + n, [](int32_t m) { return m >= 0; }));
    } else {
        AutoColorTable* table = Filled<AutoColorTable>();
        FUZZ_CHECK(GetAutoColorTable(table) == table->count);
        CheckSlots(table->appNames, table->count);
        CheckSlots(table->modeNames, table->count);
        AutoColorModeList* modes = Filled<AutoColorModeList>();
        getSupportedAutoColorMode(modes);
        CheckSlots(modes->modeNames, modes->count);
        DPScreenList* screens = Filled<DPScreenList>();
        FUZZ_CHECK(GetDPSupportedScreens(screens) == screens->count);
        CheckSlots(screens->screenNames, screens->count);
    }
}

// The delivery rules: which handler is set, whether all are muted, the
// switch of 0x105 and the types disabled one by one.
constexpr int32_t kAll = 0xFFFF, k105 = 0x105;
constexpr uint64_t kCodes[] = {0x10,  0x12,  0x14,  0x16,  0x18, 0x1A, 0x60, 0xDC,   0x100,  // these eleven pass
                               0x101, 0x102, 0x103, 0x104, 0x105, 0x11, 0,   0xFFFF, 0x10000000010};
constexpr int32_t kTypes[] = {0x10, 0x12, 0x60, 0xDC, 0x100, 0x102, 0x103, 0x104, 0x105, kAll, -1, 0};
int handler, muted, event105;
std::set<int32_t> disabled;
std::vector<std::pair<int, int32_t>> calls;  // (handler, event)
template <int kHandler> void Handler(LvxDataType type) { calls.emplace_back(kHandler, type); }

// DispatchNotification on streams of notifications mixed with EnableEvent,
// DisableEvent and SetEventHandler, against the rules: every delivery, and
// every one missing, is checked. Input: operations of two bytes, a kind and
// an argument.
void Events(const uint8_t* data, size_t size) {
    SetEventHandler(nullptr), EnableEvent(kAll), DisableEvent(k105);  // back to the load-time subscriptions
    handler = muted = event105 = 0, disabled.clear();
    for (size_t at = 0; at + 1 < size; at += 2) {
        const uint8_t kind = data[at] % 5, argument = data[at + 1];
        const int32_t type = kTypes[argument % std::size(kTypes)];
        if (kind == 0) {  // enable: unmutes; all clears the disabled set
            EnableEvent(type), muted = false, event105 |= type == k105;
            if (type == kAll) disabled.clear();
            disabled.erase(type);
        } else if (kind == 1) {  // disable: all mutes and clears, 0x105 has its own switch
            DisableEvent(type);
            if (type == kAll) muted = true, event105 = false, disabled.clear();
            else if (type == k105) event105 = false;
            else muted = false, disabled.insert(type);
        } else if (kind == 2) {
            const LvxEventHandler handlers[] = {nullptr, Handler<1>, Handler<2>};
            SetEventHandler(handlers[handler = argument % 3]);
        } else {  // a notification; a large code whose low bits name an event stands for none
            const uint64_t code = argument < 0xE0 ? kCodes[argument % std::size(kCodes)] : uint64_t{argument} << 40 | 0x10;
            const bool passed = std::find(kCodes, kCodes + 11, code) != kCodes + 11 || code == 0x103;
            const uint64_t value = data[at] >> 5 == 7 ? 0x1'0000'0001ull : data[at] >> 5;  // compared in full width
            const int32_t event = code == 0x103 ? (value == 1 ? 0x103 : 0x104) : static_cast<int32_t>(code);
            const int32_t expected = handler == 0 ? 0 : code == 0x104 ? (event105 ? k105 : 0)
                                   : passed && !muted && disabled.count(event) == 0 ? event : 0;
            calls.clear();
            lmvx::DispatchNotification(code, value);
            FUZZ_CHECK(calls.size() == (expected != 0) && (expected == 0 || calls[0] == std::make_pair(handler, expected)));
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return LMVX_FUZZ_TARGET(data, size), 0; }

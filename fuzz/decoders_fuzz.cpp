// Every reply decoder, through the exports while Connected, with the
// service's reply made of the fuzz input. Caller buffers have exactly their
// size (ASan sees any write past them) and are pre-filled, so that a write
// past a count or past a name's zero shows. Input: export, flags, capacity,
// then the reply record. Flags: bit 0 size 12016, bit 1 result 1, bit 2
// protect as a service would, bit 3 send 12048 bytes instead of 12032.
#include <algorithm>

#include "fuzz_service.h"
#include "lmvx.h"
#include "session/connection.h"

namespace {

constexpr uint8_t kPattern = 0xA5;
std::vector<uint8_t> storage;

bool Untouched(const void* begin, size_t bytes) {
    return std::all_of(static_cast<const uint8_t*>(begin), static_cast<const uint8_t*>(begin) + bytes,
                       [](uint8_t b) { return b == kPattern; });
}

template <typename T>
T* Filled(size_t count = 1) {
    storage.assign(sizeof(T) * count, kPattern);
    return reinterpret_cast<T*>(storage.data());
}

// Names below the count end within their slot and nothing after their zero
// is written; slots from the count on are untouched.
template <size_t kSlots>
void CheckSlots(const LvxChar (&slots)[kSlots][LVX_NAME_UNITS], uint32_t count) {
    FUZZ_CHECK(count <= kSlots);
    for (uint32_t i = 0; i < kSlots; ++i) {
        const LvxChar* zero = std::find(slots[i], slots[i] + LVX_NAME_UNITS, 0);
        FUZZ_CHECK(i >= count || zero < slots[i] + LVX_NAME_UNITS);
        const LvxChar* after = i < count ? zero + 1 : slots[i];
        FUZZ_CHECK(Untouched(after, (slots[i] + LVX_NAME_UNITS - after) * sizeof(LvxChar)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t which = data[0], flags = data[1], capacity = data[2] % 40;
    std::vector<uint8_t> reply(lmvx::kBufferSize, 0);
    std::memcpy(reply.data(), data + 3, std::min<size_t>(size - 3, lmvx::kRecordSize));
    const uint32_t one = 1, recordSize = lmvx::kRecordSize;
    if (flags & 1) std::memcpy(reply.data(), &recordSize, 4);
    if (flags & 2) std::memcpy(reply.data() + 8, &one, 4);
    reply.resize((flags & 8) ? lmvx::kBufferSize : lmvx::kProtectedSize);
    if (flags & 4) lmvx::ProtectBlock(reply.data(), static_cast<uint32_t>(reply.size()));
    fuzz::AnswerWith(reply);
    lmvx::ConnectionState.store(lmvx::kConnected);
    if (which % 4 == 0) {
        uint32_t* values = Filled<uint32_t>(capacity);
        const uint64_t listed = GetSupportedInputSources(values, capacity);
        const uint64_t written = std::min<uint64_t>(listed, capacity);
        FUZZ_CHECK(listed <= 26 && Untouched(values + written, 4 * (capacity - written)));
    } else if (which % 4 == 1) {
        int32_t* modes = Filled<int32_t>(capacity);
        const uint64_t written = GetSupportedDisplayModes(modes, capacity);
        FUZZ_CHECK(written <= capacity && std::all_of(modes, modes + written, [](int32_t m) { return m >= 0; }));
        FUZZ_CHECK(Untouched(modes + written, 4 * (capacity - written)));
    } else if (which % 4 == 2) {
        AutoColorTable* table = Filled<AutoColorTable>();
        FUZZ_CHECK(GetAutoColorTable(table) == table->count);
        CheckSlots(table->appNames, table->count);
        CheckSlots(table->modeNames, table->count);
    } else {
        AutoColorModeList* modes = Filled<AutoColorModeList>();
        getSupportedAutoColorMode(modes);
        CheckSlots(modes->modeNames, modes->count);
        DPScreenList* screens = Filled<DPScreenList>();
        FUZZ_CHECK(GetDPSupportedScreens(screens) == screens->count);
        CheckSlots(screens->screenNames, screens->count);
    }
    lmvx::ConnectionState.store(lmvx::kStopped);
    return 0;
}

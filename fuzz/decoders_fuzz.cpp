// Every reply decoder, driven through the public exports while the state is
// Connected, with the service's reply made of the fuzz input. Input: the
// export to call, option flags, a capacity byte, then the reply record.
//   flags bit 0: force size 12016    bit 1: force result 1
//         bit 2: protect as a service would (else the bytes go out raw)
//         bit 3: send 12048 bytes instead of 12032
// Caller buffers are allocated to their exact size and pre-filled with a
// pattern, so writes past them are caught by ASan and writes past what the
// export may touch are caught by the checks.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_service.h"
#include "lmvx.h"
#include "session/connection.h"

namespace {

constexpr uint8_t kPattern = 0xA5;

template <typename T>
std::unique_ptr<T> Filled() {
    std::unique_ptr<T> buffer(new T);
    std::memset(static_cast<void*>(buffer.get()), kPattern, sizeof(T));
    return buffer;
}

bool Untouched(const void* begin, size_t bytes) {
    const uint8_t* p = static_cast<const uint8_t*>(begin);
    for (size_t i = 0; i < bytes; ++i)
        if (p[i] != kPattern) return false;
    return true;
}

// Entries below the count are zero-terminated within their slot and nothing
// after the zero is written; entries from the count on are untouched.
template <size_t kSlots>
void CheckSlots(const LvxChar (&slots)[kSlots][LVX_NAME_UNITS], uint32_t count) {
    FUZZ_CHECK(count <= kSlots);
    for (uint32_t i = 0; i < kSlots; ++i) {
        if (i >= count) {
            FUZZ_CHECK(Untouched(slots[i], sizeof slots[i]));
            continue;
        }
        uint32_t zero = 0;
        while (zero < LVX_NAME_UNITS && slots[i][zero] != 0) ++zero;
        FUZZ_CHECK(zero < LVX_NAME_UNITS);
        FUZZ_CHECK(Untouched(&slots[i][zero + 1], (LVX_NAME_UNITS - zero - 1) * sizeof(LvxChar)));
    }
}

// What the service's reply says, read independently of the library.
struct Expected {
    bool success = false;  // verified, and the 16-bit result is 1
    lmvx::ServiceRecord plain{};
    uint32_t Word(uint32_t offset) const { return plain.Word(offset); }
    uint32_t Count(uint32_t offset, uint32_t limit) const {
        const int32_t count = static_cast<int32_t>(plain.Word(offset));
        if (!success || count < 1) return 0;
        return static_cast<uint32_t>(count) < limit ? static_cast<uint32_t>(count) : limit;
    }
    bool On(uint32_t offset) const { return success && plain.Word(offset) == 1; }
};

void CheckValues(uint64_t (*list)(uint32_t*, uint64_t), uint8_t capacityByte, const Expected& expected) {
    const uint64_t capacity = capacityByte % 40;
    std::unique_ptr<uint32_t[]> buffer(new uint32_t[capacity + 1]);
    std::memset(buffer.get(), kPattern, (capacity + 1) * 4);
    const uint64_t listed = list(capacity == 0 ? buffer.get() + 1 : buffer.get(), capacity);
    FUZZ_CHECK(listed == expected.Count(24, 26));
    const bool supported = expected.success && expected.Word(20) == 1;
    const uint64_t written = !supported ? 0 : listed < capacity ? listed : capacity;
    for (uint64_t i = 0; i < written; ++i) FUZZ_CHECK(buffer[i] == expected.Word(28 + 4 * static_cast<uint32_t>(i)));
    FUZZ_CHECK(Untouched(buffer.get() + written, (capacity + 1 - written) * 4));
    FUZZ_CHECK(list(nullptr, capacity) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t which = data[0], flags = data[1], capacity = data[2];
    std::vector<uint8_t> reply(lmvx::kBufferSize, 0);
    std::memcpy(reply.data(), data + 3, std::min<size_t>(size - 3, lmvx::kRecordSize));
    const uint32_t one = 1, recordSize = lmvx::kRecordSize;
    if (flags & 1) std::memcpy(reply.data(), &recordSize, 4);
    if (flags & 2) std::memcpy(reply.data() + 8, &one, 4);
    const uint32_t n = (flags & 8) ? lmvx::kBufferSize : lmvx::kProtectedSize;
    reply.resize(n);
    if (flags & 4) fuzz::Protect(reply.data(), n);
    Expected expected;
    if (fuzz::Verifies(reply.data(), n)) {
        for (uint32_t i = 0; i < lmvx::kRecordSize; ++i)
            expected.plain.Bytes()[i] = reply[i] ^ lmvx::MaskByte(i);
        expected.success = (expected.plain.result & 0xFFFFu) == 1;
    }

    fake::Os().Reset();
    fuzz::AnswerWith(reply);
    lmvx::ConnectionState.store(lmvx::kConnected);

    switch (which % 16) {
        case 0: CheckValues(GetSupportedWhitePoints, capacity, expected); break;
        case 1: CheckValues(GetSupportedInputSources, capacity, expected); break;
        case 2: {
            const uint64_t room = capacity % 40;
            std::unique_ptr<int32_t[]> modes(new int32_t[room + 1]);
            std::memset(modes.get(), kPattern, (room + 1) * 4);
            const uint64_t written = GetSupportedDisplayModes(modes.get(), room);
            FUZZ_CHECK(written <= room && written <= 26);
            for (uint64_t i = 0; i < written; ++i) FUZZ_CHECK(modes[i] >= 0);
            FUZZ_CHECK(Untouched(modes.get() + written, (room + 1 - written) * 4));
            break;
        }
        case 3: {
            auto table = Filled<AutoColorTable>();
            const uint32_t count = GetAutoColorTable(table.get());
            FUZZ_CHECK(count == table->count && count == expected.Count(12, LVX_AUTO_COLOR_MAX_APPS));
            CheckSlots(table->appNames, count);
            CheckSlots(table->modeNames, count);
            break;
        }
        case 4: {
            auto list = Filled<AutoColorModeList>();
            getSupportedAutoColorMode(list.get());
            FUZZ_CHECK(list->count == expected.Count(12, LVX_AUTO_COLOR_MAX_MODES));
            CheckSlots(list->modeNames, list->count);
            break;
        }
        case 5: {
            auto list = Filled<DPScreenList>();
            const uint32_t count = GetDPSupportedScreens(list.get());
            FUZZ_CHECK(count == list->count && count == expected.Count(12, LVX_DP_MAX_SCREENS));
            CheckSlots(list->screenNames, count);
            break;
        }
        case 6: {
            uint32_t t[4] = {7, 7, 7, 7};
            FUZZ_CHECK(!GetScheduleTime(nullptr, &t[1], &t[2], &t[3]));
            FUZZ_CHECK(t[1] == 7 && t[2] == 7 && t[3] == 7);
            const bool stored = GetScheduleTime(&t[0], &t[1], &t[2], &t[3]);
            FUZZ_CHECK(stored == expected.success);
            for (uint32_t i = 0; i < 4; ++i) FUZZ_CHECK(t[i] == (stored ? expected.Word(12 + 4 * i) : 7u));
            break;
        }
        case 7: {
            const uint32_t values[] = {GetBrightness(), GetContrast(), GetWhitePoint(), GetRedGain(),
                                       GetGreenGain(), GetBlueGain(), GetInputSource()};
            for (uint32_t v : values) FUZZ_CHECK(v == (expected.success ? expected.Word(20) : 0u));
            break;
        }
        case 8: {
            (void)GetCurrentDisplayMode();
            const int32_t mode = GetShedulerMode();
            if (!expected.success) FUZZ_CHECK(mode == -1);
            break;
        }
        case 9:
            FUZZ_CHECK(IsAutoColorEnabled() == expected.On(12));
            FUZZ_CHECK(IsDesktopPartitionEnabled() == expected.On(12));
            FUZZ_CHECK(GetSchedule() == expected.On(12));
            break;
        case 10:
            FUZZ_CHECK(GetPowerSavings() == expected.On(12));
            FUZZ_CHECK(GetHDRStatus() == expected.On(12));
            FUZZ_CHECK(GetFeatures() == (expected.success ? expected.Word(12) : 0u));
            break;
        case 11:
            FUZZ_CHECK(GetDesktopPartition(capacity) == (expected.success ? expected.Word(16) : 0xFFFFFFFFu));
            break;
        case 12: {
            const int32_t state = GetLVXStatus();
            const uint32_t status = expected.success ? expected.Word(12) : 0;
            FUZZ_CHECK(state == (status == 0 ? lmvx::kDisconnected : lmvx::kConnected));
            FUZZ_CHECK(CheckService() == (expected.success && expected.Word(12) >= 2));
            break;
        }
        default: {
            // A null caller buffer is never written or dereferenced.
            FUZZ_CHECK(GetAutoColorTable(nullptr) == 0);
            FUZZ_CHECK(GetDPSupportedScreens(nullptr) == 0);
            getSupportedAutoColorMode(nullptr);
            FUZZ_CHECK(GetSupportedDisplayModes(nullptr, capacity) == 0);
            break;
        }
    }
    lmvx::ConnectionState.store(lmvx::kStopped);
    fake::Os().Reset();
    return 0;
}

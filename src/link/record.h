// The ServiceRecord: the one 12016-byte request/reply record exchanged with
// the service, and the helpers that read and write its payload words and
// fixed string slots. All multi-byte fields are little-endian; every target of
// this library is little-endian, which the static_assert below pins.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lmvx {

static_assert(std::endian::native == std::endian::little, "the record layout is little-endian");

inline constexpr uint32_t kRecordSize = 12016;     // 0x2EF0
inline constexpr uint32_t kProtectedSize = 12032;  // 0x2F00, 752 blocks of 16
inline constexpr uint32_t kBufferSize = 12048;     // 0x2F10, room for the longest reply
inline constexpr uint32_t kChecksumOffset = kProtectedSize - 1;
inline constexpr uint32_t kStringSlotUnits = 100;  // 99 characters and a terminating zero
inline constexpr uint32_t kStringSlotBytes = kStringSlotUnits * 2;

struct ServiceRecord {
    uint32_t size;
    uint32_t command;
    uint32_t result;
    uint8_t payload[kRecordSize - 12];

    // A request: every byte zero but the size and the command code.
    static ServiceRecord Request(uint32_t command) {
        ServiceRecord record;
        std::memset(&record, 0, sizeof record);
        record.size = kRecordSize;
        record.command = command;
        return record;
    }

    // Words are addressed by their offset from the start of the record (12 and up).
    uint32_t Word(uint32_t offset) const {
        uint32_t value;
        std::memcpy(&value, Bytes() + offset, 4);
        return value;
    }
    void SetWord(uint32_t offset, uint32_t value) { std::memcpy(Bytes() + offset, &value, 4); }
    uint64_t Word64(uint32_t offset) const {
        uint64_t value;
        std::memcpy(&value, Bytes() + offset, 8);
        return value;
    }
    void SetWord64(uint32_t offset, uint64_t value) { std::memcpy(Bytes() + offset, &value, 8); }

    // Writes `text` into the slot of `slotUnits` code units at `offset`: at
    // most slotUnits - 1 characters, always zero-terminated within the slot.
    // A null text leaves the slot empty.
    void SetString(uint32_t offset, uint32_t slotUnits, const char16_t* text);

    // Copies the string of the slot at `offset` into `out` (capacity
    // `outUnits`, at least 1): reads never leave the slot, writes never leave
    // `out`, and `out` is always zero-terminated. A slot without a terminating
    // zero yields its first slotUnits - 1 units. Returns the units copied.
    uint32_t ReadString(uint32_t offset, uint32_t slotUnits, char16_t* out, uint32_t outUnits) const;

    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(this); }
    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(this); }
};

static_assert(sizeof(ServiceRecord) == kRecordSize);
static_assert(offsetof(ServiceRecord, size) == 0);
static_assert(offsetof(ServiceRecord, command) == 4);
static_assert(offsetof(ServiceRecord, result) == 8);
static_assert(offsetof(ServiceRecord, payload) == 12);
static_assert(kRecordSize < kProtectedSize, "nOutBufferSize<szEncrypted");
static_assert(kProtectedSize % 16 == 0 && kBufferSize == kProtectedSize + 16);

// A reply counts as a success when the low 16 bits of its result are 1.
inline bool IsSuccess(const ServiceRecord& reply) { return (reply.result & 0xFFFFu) == 1; }

// The number of list entries a reply announces at offset 12, clamped to
// [0, limit]: a negative or zero count reads nothing.
inline uint32_t ClampedListCount(const ServiceRecord& reply, uint32_t limit) {
    const int32_t count = static_cast<int32_t>(reply.Word(12));
    if (count < 1) return 0;
    return static_cast<uint32_t>(count) < limit ? static_cast<uint32_t>(count) : limit;
}

}  // namespace lmvx

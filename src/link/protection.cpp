#include "link/protection.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <new>

#include "os/os.h"

namespace lmvx {
namespace {

// The whole mask sequence, built at compile time.
constexpr auto kMask = [] {
    std::array<uint8_t, kBufferSize> mask{};
    for (uint32_t i = 0; i < kBufferSize; ++i) mask[i] = MaskByte(i);
    return mask;
}();

// dst[i] = src[i] ^ mask[i] over `blocks` 16-byte blocks, returning the sum
// modulo 256 of the bytes before masking (kSumBefore) or after. `src` is
// either `dst` itself or memory apart from it; inlined, the compiler sees
// which, and a count of whole blocks lets it turn the loop into vector steps
// with no check for overlap and no scalar remainder.
template <bool kSumBefore>
[[gnu::always_inline]] inline uint8_t MaskAndSum(const uint8_t* src, uint8_t* dst, uint32_t blocks) {
    const uint8_t* mask = kMask.data();
    uint8_t sum = 0;
    // GCC unrolls no loop at -O2; four vector steps an iteration halve the
    // pass's time. Clang unrolls on its own, and the pragma would stop it
    // vectorising.
#if !defined(__clang__)
#pragma GCC unroll 4
#endif
    for (size_t i = 0; i < size_t{blocks} * 16; ++i) {
        const uint8_t before = src[i], after = before ^ mask[i];
        sum += kSumBefore ? before : after;
        dst[i] = after;
    }
    return sum;
}

// The platform's encryption works on whole 16-byte blocks.
bool IsBlockSize(uint32_t size) { return size != 0 && size % 16 == 0 && size <= kBufferSize; }

// Puts `checksum`, the sum of the block's unmasked bytes 0..size-2, masked
// into its last byte, and encrypts the block.
bool Seal(uint8_t* block, uint32_t size, uint8_t checksum) {
    block[size - 1] = checksum ^ kMask[size - 1];
    return os::ProtectMemory(block, size);
}

}  // namespace

bool ProtectBlock(uint8_t* block, uint32_t size) {
    if (!IsBlockSize(size)) return false;
    block[size - 1] = 0;  // the checksum's place adds nothing to the sum
    return Seal(block, size, MaskAndSum<true>(block, block, size / 16));
}

ProtectedBlock EncryptRecord(const ServiceRecord& record) {
    ProtectedBlock block;
    // Held in a plain pointer while it is filled, so that the compiler knows
    // the fresh buffer overlaps nothing.
    uint8_t* out = new (std::nothrow) uint8_t[kBufferSize];
    if (out == nullptr) return block;
    block.buffer.reset(out);
    // The record is masked straight into the buffer. The block's last 16
    // bytes are zeros, so masked they are the mask itself; the bytes past the
    // block stay zero.
    const uint8_t checksum = MaskAndSum<true>(record.Bytes(), out, kRecordSize / 16);
    std::memcpy(out + kRecordSize, kMask.data() + kRecordSize, kProtectedSize - kRecordSize);
    std::memset(out + kProtectedSize, 0, kBufferSize - kProtectedSize);
    block.size = kProtectedSize;
    block.encrypted = Seal(out, kProtectedSize, checksum);
    return block;
}

bool DecryptRecord(uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || !IsBlockSize(n)) return false;
    if (!os::UnprotectMemory(buffer, n)) return false;
    // The sum covers the checksum byte too; it is taken out again.
    const uint8_t sum = MaskAndSum<false>(buffer, buffer, n / 16) - buffer[n - 1];
    return sum == buffer[n - 1];
}

}  // namespace lmvx

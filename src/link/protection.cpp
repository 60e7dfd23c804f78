#include "link/protection.h"

#include <array>
#include <cstring>
#include <new>

#include "os/os.h"

namespace lmvx {
namespace {

// The whole mask sequence, built at compile time, so that each pass is one
// branch-free loop the compiler can vectorise.
constexpr auto kMask = [] {
    std::array<uint8_t, kBufferSize> mask{};
    for (uint32_t i = 0; i < kBufferSize; ++i) mask[i] = MaskByte(i);
    return mask;
}();

// dst[i] = src[i] ^ mask[i] for i < n, in one pass, returning the sum modulo
// 256 of the first `sumCount` bytes: the unmasked ones, which are the source
// when protecting and the result when unprotecting. src and dst may alias.
template <bool kSumSource>
uint8_t MaskAndSum(const uint8_t* src, uint8_t* dst, uint32_t n, uint32_t sumCount) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < sumCount; ++i) {
        const uint8_t in = src[i];
        const uint8_t out = in ^ kMask[i];
        sum += kSumSource ? in : out;
        dst[i] = out;
    }
    for (uint32_t i = sumCount; i < n; ++i) dst[i] = src[i] ^ kMask[i];
    return static_cast<uint8_t>(sum);
}

}  // namespace

bool ProtectBlock(uint8_t* block, uint32_t size) {
    if (size < 2 || size > kBufferSize) return false;
    const uint8_t checksum = MaskAndSum<true>(block, block, size - 1, size - 1);
    block[size - 1] = checksum ^ kMask[size - 1];
    return os::ProtectMemory(block, size);
}

ProtectedBlock EncryptRecord(const ServiceRecord& record) {
    ProtectedBlock block;
    block.buffer.reset(new (std::nothrow) uint8_t[kBufferSize]);
    if (!block.buffer) return block;
    uint8_t* out = block.buffer.get();
    std::memcpy(out, record.Bytes(), kRecordSize);
    std::memset(out + kRecordSize, 0, kBufferSize - kRecordSize);
    block.size = kProtectedSize;
    block.encrypted = ProtectBlock(out, kProtectedSize);
    return block;
}

bool DecryptRecord(uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || n < 2 || n > kBufferSize) return false;
    if (!os::UnprotectMemory(buffer, n)) return false;
    const uint8_t sum = MaskAndSum<false>(buffer, buffer, n, n - 1);
    return sum == buffer[n - 1];
}

}  // namespace lmvx

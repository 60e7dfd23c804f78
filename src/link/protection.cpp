#include "link/protection.h"

#include <array>
#include <cstring>
#include <new>

#include "os/os.h"

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace lmvx {
namespace {

// The whole mask sequence, built at compile time, so that each pass is one
// branch-free loop the compiler can vectorise.
constexpr auto kMask = [] {
    std::array<uint8_t, kBufferSize> mask{};
    for (uint32_t i = 0; i < kBufferSize; ++i) mask[i] = MaskByte(i);
    return mask;
}();

// The vector part of MaskAndSum over bytes begin..end-1 (a multiple of four
// vectors), for vector type V of 16 or 32 bytes: the compiler turns each
// operation on V into vector instructions on every target (SSE2 on x64, NEON
// on ARM64) without its loop vectoriser. Four vectors per step, all read
// before any is written (src may be dst), summed pairwise so that the
// running sum waits on one addition per step. Each lane adds modulo 256, so
// the lanes' total modulo 256 is the bytes' sum. Nothing of type V crosses a
// call, so a 32-byte V stays inside a function built for AVX2.
// By pointer and reference only: a 32-byte vector passed by value would
// depend on the caller's instruction set.
template <typename V>
[[gnu::always_inline]] inline void Load(V* v, const uint8_t* p) {
    std::memcpy(v, p, sizeof *v);
}
template <typename V>
[[gnu::always_inline]] inline void Store(uint8_t* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

template <typename V, bool kSumSource>
[[gnu::always_inline]] inline uint32_t MaskSteps(const uint8_t* src, uint8_t* dst, size_t begin, size_t end) {
    constexpr size_t kStep = 4 * sizeof(V);
    V sums = {};
    for (size_t i = begin; i < end; i += kStep) {
        const uint8_t* s = src + i;
        const uint8_t* m = kMask.data() + i;
        uint8_t* d = dst + i;
        V in0, in1, in2, in3, m0, m1, m2, m3;
        Load(&in0, s);
        Load(&in1, s + sizeof(V));
        Load(&in2, s + 2 * sizeof(V));
        Load(&in3, s + 3 * sizeof(V));
        Load(&m0, m);
        Load(&m1, m + sizeof(V));
        Load(&m2, m + 2 * sizeof(V));
        Load(&m3, m + 3 * sizeof(V));
        const V out0 = in0 ^ m0, out1 = in1 ^ m1, out2 = in2 ^ m2, out3 = in3 ^ m3;
        Store(d, out0);
        Store(d + sizeof(V), out1);
        Store(d + 2 * sizeof(V), out2);
        Store(d + 3 * sizeof(V), out3);
        sums += kSumSource ? (in0 + in1) + (in2 + in3) : (out0 + out1) + (out2 + out3);
    }
    uint32_t sum = 0;
    for (size_t lane = 0; lane < sizeof(V); ++lane) sum += sums[lane];
    return sum;
}

typedef uint8_t Lanes16 __attribute__((vector_size(16)));
constexpr size_t kStep16 = 4 * sizeof(Lanes16);

#if defined(__x86_64__)
// Most x64 machines have AVX2; the library itself is built for the x64
// baseline (SSE2), so the wider form is chosen at run time.
typedef uint8_t Lanes32 __attribute__((vector_size(32)));
constexpr size_t kStep32 = 4 * sizeof(Lanes32);

template <bool kSumSource>
__attribute__((target("avx2"))) uint32_t MaskStepsAvx2(const uint8_t* src, uint8_t* dst, size_t end) {
    return MaskSteps<Lanes32, kSumSource>(src, dst, 0, end);
}

// AVX2 in the processor, and its 32-byte registers saved by the system
// (checked here rather than with the compiler's run-time library, which not
// every toolchain of the library links).
bool DetectAvx2() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_max(0, nullptr) < 7) return false;
    __cpuid_count(1, 0, eax, ebx, ecx, edx);
    constexpr unsigned kOsXsave = 1u << 27, kAvx = 1u << 28;
    if ((ecx & (kOsXsave | kAvx)) != (kOsXsave | kAvx)) return false;
    unsigned low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    if ((low & 6u) != 6u) return false;  // XMM and YMM state
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & (1u << 5)) != 0;
}

bool HasAvx2() {
    static const bool has = DetectAvx2();
    return has;
}
#endif

// dst[i] = src[i] ^ mask[i] for i < n, in one pass, returning the sum modulo
// 256 of the first `sumCount` bytes (sumCount <= n): the unmasked ones,
// which are the source when protecting and the result when unprotecting.
// src and dst may be the same buffer.
template <bool kSumSource>
uint8_t MaskAndSum(const uint8_t* src, uint8_t* dst, uint32_t n, uint32_t sumCount) {
    size_t i = 0;
    uint32_t sum = 0;
#if defined(__x86_64__)
    if (HasAvx2()) {
        i = sumCount / kStep32 * kStep32;
        sum += MaskStepsAvx2<kSumSource>(src, dst, i);
    }
#endif
    const size_t vectorEnd = sumCount / kStep16 * kStep16;
    if (i < vectorEnd) {
        sum += MaskSteps<Lanes16, kSumSource>(src, dst, i, vectorEnd);
        i = vectorEnd;
    }
    for (; i < sumCount; ++i) {
        const uint8_t in = src[i];
        const uint8_t out = in ^ kMask[i];
        sum += kSumSource ? in : out;
        dst[i] = out;
    }
    for (; i < n; ++i) dst[i] = src[i] ^ kMask[i];
    return static_cast<uint8_t>(sum);
}

// Protects the `size`-byte block at `block` whose first `sourceSize` bytes
// (sourceSize < size) are those at `source` and whose further bytes are zero:
// masks them into the block as it reads them, sets the checksum byte and
// encrypts. `source` may be `block` itself.
bool ProtectFrom(const uint8_t* source, uint32_t sourceSize, uint8_t* block, uint32_t size) {
    const uint8_t checksum = MaskAndSum<true>(source, block, sourceSize, sourceSize);
    for (uint32_t i = sourceSize; i < size - 1; ++i) block[i] = kMask[i];  // zero ^ mask
    block[size - 1] = checksum ^ kMask[size - 1];
    return os::ProtectMemory(block, size);
}

}  // namespace

bool ProtectBlock(uint8_t* block, uint32_t size) {
    if (size < 2 || size > kBufferSize) return false;
    return ProtectFrom(block, size - 1, block, size);
}

ProtectedBlock EncryptRecord(const ServiceRecord& record) {
    ProtectedBlock block;
    block.buffer.reset(new (std::nothrow) uint8_t[kBufferSize]);
    if (!block.buffer) return block;
    uint8_t* out = block.buffer.get();
    // The record is masked straight into the buffer, one pass over it; the
    // bytes past the protected size stay zero.
    std::memset(out + kProtectedSize, 0, kBufferSize - kProtectedSize);
    block.size = kProtectedSize;
    block.encrypted = ProtectFrom(record.Bytes(), kRecordSize, out, kProtectedSize);
    return block;
}

bool DecryptRecord(uint8_t* buffer, uint32_t n) {
    if (buffer == nullptr || n < 2 || n > kBufferSize) return false;
    if (!os::UnprotectMemory(buffer, n)) return false;
    const uint8_t sum = MaskAndSum<false>(buffer, buffer, n, n - 1);
    return sum == buffer[n - 1];
}

}  // namespace lmvx

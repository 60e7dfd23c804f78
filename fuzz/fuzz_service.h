// What the fuzz targets share: the fake seam's pipe answering with bytes the
// fuzzer chose, and an independent statement of when a block verifies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fakes/fake_os.h"
#include "link/protection.h"
#include "link/record.h"

namespace fuzz {

// Stops the run with a message libFuzzer reports as a crash.
[[noreturn]] inline void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) ::fuzz::Fail(#condition); \
    } while (0)

// Whether `n` received bytes (already unprotected by the identity seam)
// form a block the library must accept: the seam's cipher takes whole
// 16-byte blocks only, and after unmasking the last byte is the sum of the
// others modulo 256.
inline bool Verifies(const uint8_t* received, uint32_t n) {
    if (n < 2 || n > lmvx::kBufferSize || n % 16 != 0) return false;
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < n; ++i) sum += received[i] ^ lmvx::MaskByte(i);
    return static_cast<uint8_t>(sum) == (received[n - 1] ^ lmvx::MaskByte(n - 1));
}

// Masks `n` plaintext bytes in place and stores their checksum in the last
// one, as a service protects its reply (the seam's cipher is the identity).
inline void Protect(uint8_t* bytes, uint32_t n) {
    if (n < 2) return;
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < n; ++i) {
        sum += bytes[i];
        bytes[i] ^= lmvx::MaskByte(i);
    }
    bytes[n - 1] = static_cast<uint8_t>(sum) ^ lmvx::MaskByte(n - 1);
}

// The pipe answers every transaction with `reply` (a reply longer than the
// capacity fails the transaction, as the real pipe does).
inline void AnswerWith(std::vector<uint8_t> reply) {
    fake::Os().SetPipe([reply = std::move(reply)](const char16_t*, const uint8_t*, uint32_t, uint8_t* out,
                                                  uint32_t capacity, uint32_t* received) {
        if (reply.size() > capacity) return false;
        if (!reply.empty()) std::memcpy(out, reply.data(), reply.size());
        *received = static_cast<uint32_t>(reply.size());
        return true;
    });
}

}  // namespace fuzz

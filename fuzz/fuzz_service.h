// What the fuzz targets share: checks that libFuzzer reports as crashes, the
// fake seam's pipe answering with bytes the fuzzer chose, and an independent
// statement of when a received block verifies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fakes/fake_os.h"
#include "link/protection.h"

// Stops the run with a message libFuzzer reports as a crash.
#define FUZZ_CHECK(condition) \
    if (!(condition)) std::fprintf(stderr, "invariant broken: %s\n", #condition), std::abort()

namespace fuzz {

// Whether n received bytes (the seam's cipher is the identity and takes
// whole 16-byte blocks only) verify: unmasked, the last byte is the sum of
// the others modulo 256.
inline bool Verifies(const uint8_t* received, uint32_t n) {
    if (n < 2 || n > lmvx::kBufferSize || n % 16 != 0) return false;
    uint32_t sum = 0;
    for (uint32_t i = 0; i + 1 < n; ++i) sum += received[i] ^ lmvx::MaskByte(i);
    return static_cast<uint8_t>(sum) == (received[n - 1] ^ lmvx::MaskByte(n - 1));
}

// Every transaction is answered with `reply`; one longer than the capacity
// fails, as on the real pipe.
inline void AnswerWith(std::vector<uint8_t> reply) {
    fake::Os().Reset();
    fake::Os().SetPipe([reply = std::move(reply)](const char16_t*, const uint8_t*, uint32_t, uint8_t* out,
                                                  uint32_t capacity, uint32_t* received) {
        if (reply.size() > capacity) return false;
        if (!reply.empty()) std::memcpy(out, reply.data(), reply.size());
        *received = static_cast<uint32_t>(reply.size());
        return true;
    });
}

}  // namespace fuzz

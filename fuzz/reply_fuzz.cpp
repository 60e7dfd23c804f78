// DecryptRecord and the reply handling of ExchangeRecord on any bytes of any
// length the pipe can deliver (0 to 12048, and longer ones that the pipe
// refuses). Input: one flag byte, then the reply.
//   bit 0: the reply is plaintext to be protected (so whole records, good
//          checksums and the result field get explored), else raw bytes
//   bit 1: force the result field to 1 before protecting
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_service.h"
#include "link/exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t flags = data[0];
    std::vector<uint8_t> reply(data + 1, data + size);
    if ((flags & 1) != 0 && reply.size() <= lmvx::kBufferSize) {
        if ((flags & 2) != 0 && reply.size() >= 12) {
            const uint32_t one = 1;
            std::memcpy(reply.data() + 8, &one, 4);
        }
        fuzz::Protect(reply.data(), static_cast<uint32_t>(reply.size()));
    }
    const uint32_t n = static_cast<uint32_t>(reply.size());
    const bool fits = reply.size() <= lmvx::kBufferSize;

    // DecryptRecord alone, in a buffer of exactly the reply's size, so that
    // any access beyond n is out of bounds for ASan.
    if (fits) {
        std::unique_ptr<uint8_t[]> exact(new uint8_t[n == 0 ? 1 : n]);
        if (n != 0) std::memcpy(exact.get(), reply.data(), n);
        const bool verified = lmvx::DecryptRecord(exact.get(), n);
        FUZZ_CHECK(verified == fuzz::Verifies(reply.data(), n));
        if (verified)
            for (uint32_t i = 0; i < n; ++i) FUZZ_CHECK(exact[i] == (reply[i] ^ lmvx::MaskByte(i)));
    }

    // ExchangeRecord with the pipe answering these bytes to every attempt.
    const bool whole = fits && n >= lmvx::kProtectedSize && fuzz::Verifies(reply.data(), n);
    fake::Os().Reset();
    fuzz::AnswerWith(reply);
    lmvx::ServiceRecord record = lmvx::ServiceRecord::Request(2);
    record.SetWord(16, 0x12);
    const lmvx::ServiceRecord before = record;
    const bool ok = lmvx::ExchangeRecord(&record);
    if (whole) {
        // One attempt; the record holds the reply whatever its result says.
        FUZZ_CHECK(fake::Os().pipeCalls == 1);
        for (uint32_t i = 0; i < lmvx::kRecordSize; ++i)
            FUZZ_CHECK(record.Bytes()[i] == (reply[i] ^ lmvx::MaskByte(i)));
        FUZZ_CHECK(ok == ((record.result & 0xFFFFu) == 1));
    } else {
        FUZZ_CHECK(!ok);
        FUZZ_CHECK(fake::Os().pipeCalls == 3);
        FUZZ_CHECK(std::memcmp(&record, &before, sizeof record) == 0);
    }
    fake::Os().Reset();
    return 0;
}

// DecryptRecord and ExchangeRecord on any reply the pipe can deliver (0 to
// 12048 bytes, and longer ones the pipe refuses). Input: a flag byte, then
// the reply. Flag bit 0: protect the reply as a service would first (so that
// whole records with good checksums are explored); bit 1: with result 1.
#include "fuzz_service.h"
#include "link/exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<uint8_t> reply(data + 1, data + size);
    const uint32_t n = static_cast<uint32_t>(reply.size());
    const bool fits = n <= lmvx::kBufferSize;
    if ((data[0] & 1) != 0 && fits && n >= 2) {
        const uint32_t one = 1;
        if ((data[0] & 2) != 0 && n >= 12) std::memcpy(reply.data() + 8, &one, 4);
        lmvx::ProtectBlock(reply.data(), n);
    }
    // Alone, in a buffer of exactly n bytes: ASan sees any access beyond.
    if (fits) {
        std::vector<uint8_t> exact(reply);
        const bool verified = lmvx::DecryptRecord(exact.data(), n);
        FUZZ_CHECK(verified == fuzz::Verifies(reply.data(), n));
        for (uint32_t i = 0; verified && i < n; ++i) FUZZ_CHECK(exact[i] == (reply[i] ^ lmvx::MaskByte(i)));
    }
    // In the exchange, answering every attempt: only a whole verified block
    // is taken (as it is, whatever its result), else the record stays.
    const bool whole = fits && n >= lmvx::kProtectedSize && fuzz::Verifies(reply.data(), n);
    fuzz::AnswerWith(reply);
    const lmvx::ServiceRecord request = lmvx::ServiceRecord::Request(2);
    lmvx::ServiceRecord record = request;
    const bool ok = lmvx::ExchangeRecord(&record);
    FUZZ_CHECK(fake::Os().pipeCalls == (whole ? 1u : 3u));
    for (uint32_t i = 0; i < lmvx::kRecordSize; ++i)
        FUZZ_CHECK(record.Bytes()[i] == (whole ? reply[i] ^ lmvx::MaskByte(i) : request.Bytes()[i]));
    FUZZ_CHECK(ok == (whole && (record.result & 0xFFFFu) == 1));
    return 0;
}

// The record's protection and the exchange over the fake pipe, whose
// encryption is the identity: what crosses the pipe is the masked,
// checksummed record.
#include <vector>

#include "link/exchange.h"
#include "link/protection.h"
#include "service_fixture.h"

namespace {

using lmvx::DecryptRecord;
using sim::Fault;

class Link : public SimulatedService {};

TEST_F(Link, AStatusRequestIsProtectedAsTheServiceExpects) {
    const lmvx::ProtectedBlock block = lmvx::EncryptRecord(ServiceRecord::Request(1));
    EXPECT_EQ(block.size, 12032u);
    // Size and command masked from 63 on; zeros become the mask itself, which
    // wraps at 255; the checksum 0x1F under the mask 0x6D; nothing after it.
    const std::pair<uint32_t, uint8_t> bytes[] = {{0, 0xCF},  {1, 0x6E},     {4, 0x42},     {8, 0x47},   {191, 254},
                                                  {192, 0},   {447, 0},      {12030, 108},  {12031, 0x72}, {12032, 0},
                                                  {12040, 0}, {12047, 0}};
    for (const auto& [at, value] : bytes) EXPECT_EQ(block.buffer[at], value) << at;
}

TEST_F(Link, UnprotectingRestoresEveryByteAndFindsAnyChange) {
    ServiceRecord record = ServiceRecord::Request(36);
    for (uint32_t i = 12; i < lmvx::kRecordSize; ++i) record.Bytes()[i] = static_cast<uint8_t>(i * 7 + i / 251);
    for (const uint32_t n : {12032u, 12048u}) {  // a reply may fill the whole buffer
        std::vector<uint8_t> block(n, 0), flipped;
        std::memcpy(block.data(), &record, sizeof record);
        ASSERT_TRUE(lmvx::ProtectBlock(block.data(), n));
        for (const uint32_t at : {0u, 100u, 6000u, 12015u, n - 1}) {
            flipped = block;
            flipped[at] ^= 0x01;
            EXPECT_FALSE(DecryptRecord(flipped.data(), n)) << at;
        }
        ASSERT_TRUE(DecryptRecord(block.data(), n));
        EXPECT_TRUE(Same(*reinterpret_cast<const ServiceRecord*>(block.data()), record));
    }
}

TEST_F(Link, AVerifiedReplyEndsTheExchange) {
    // Only the result's low 16 bits count; a reported failure is not retried.
    const struct {
        uint32_t result;
        bool success;
    } results[] = {{1, true}, {0, false}, {0x10001, true}, {0x101, false}, {2, false}};
    for (const auto& r : results) {
        fake::Os().pipeCalls = 0;
        Sim().ClearLog();
        Sim().Once(36, {.setResult = true, .result = r.result, .words = {{12, 77}, {12012, 5}}});
        ServiceRecord record = ServiceRecord::Request(36);
        EXPECT_EQ(lmvx::ExchangeRecord(&record), r.success) << r.result;
        EXPECT_TRUE(Same(record, Request(36, {{8, r.result}, {12, 77}, {12012, 5}})));  // the reply, either way
        EXPECT_EQ(fake::Os().pipeCalls, 1u);
        EXPECT_TRUE(Same(Sim().Requests().at(0), ServiceRecord::Request(36)));
    }
    EXPECT_EQ(fake::Os().sleptMs, 0u);
}

TEST_F(Link, RecordsOfAnotherSizeAreRefusedWithoutTraffic) {
    for (const uint32_t size : {12015u, 12017u, 0u}) {
        ServiceRecord record = Request(1, {{0, size}});
        EXPECT_FALSE(lmvx::ExchangeRecord(&record)) << size;
        EXPECT_TRUE(Same(record, Request(1, {{0, size}})));
    }
    EXPECT_FALSE(lmvx::ExchangeRecord(nullptr));
    EXPECT_EQ(fake::Os().pipeCalls, 0u);
}

TEST_F(Link, FailedAttemptsAreRetriedTwiceAfterAPause) {
    const sim::Script damaged[] = {
        {.fault = Fault::kBadChecksum}, {.fault = Fault::kShort, .faultLength = 16}, {.fault = Fault::kEmpty},
        {.fault = Fault::kSilent},      {.fault = Fault::kGarbage, .faultLength = 12032},
        {.fault = Fault::kOversize, .faultLength = 12064},
    };
    for (const sim::Script& fault : damaged) {
        fake::Os().pipeCalls = 0;
        fake::Os().sleptMs = 0;
        Sim().Always(36, fault);
        ServiceRecord record = ServiceRecord::Request(36);
        EXPECT_FALSE(lmvx::ExchangeRecord(&record));
        EXPECT_TRUE(Same(record, ServiceRecord::Request(36)));
        EXPECT_EQ(fake::Os().pipeCalls, 3u);
        EXPECT_EQ(fake::Os().sleptMs, 300u);
        Sim().ClearScripts();
        Sim().Once(36, fault);
        Sim().Once(36, fault);
        EXPECT_TRUE(lmvx::ExchangeRecord(&record));  // the third attempt's good reply
    }
}

TEST_F(Link, ThePipeNameIsTheSessionsAndFixedAtFirstUse) {
    const std::pair<uint32_t, std::u16string> names[] = {
        {1, u"1"}, {0, u"0"}, {4294967295u, u"-1"}, {2147483648u, u"-2147483648"}, {2147483647u, u"2147483647"}};
    for (const auto& [session, suffix] : names) {
        char16_t name[lmvx::kPipeNameUnits];
        lmvx::FormatServicePipeName(session, name);
        EXPECT_EQ(std::u16string(name), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_" + suffix);
    }
    // The simulator serves session 1's pipe, where the first exchange of
    // this process (in session 1, as every test here) fixed the name.
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_TRUE(lmvx::ExchangeRecord(&record));
    fake::Os().sessionId = 8;
    EXPECT_TRUE(lmvx::ExchangeRecord(&record));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "link/exchange.h"
#include "link/service.h"
#include "sim_fixture.h"

namespace {

using lmvx::ExchangeRecord;
using lmvx::ServiceRecord;
using sim::Fault;
using sim::Script;

bool SameBytes(const ServiceRecord& a, const ServiceRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Exchange : public SimulatedService {};

TEST_F(Exchange, OneVerifiedReplyOnTheFirstAttempt) {
    Sim().SetReadiness(3);
    ServiceRecord record = ServiceRecord::Request(36);
    ASSERT_TRUE(ExchangeRecord(&record));
    EXPECT_EQ(record.Word(12), 3u);
    EXPECT_EQ(record.result, 1u);
    EXPECT_EQ(fake::Os().pipeCalls, 1u);
    EXPECT_EQ(fake::Os().sleeps, 0u);
    // The service saw exactly the request: cleared, with size and command.
    ASSERT_EQ(Sim().RequestCount(), 1u);
    EXPECT_TRUE(SameBytes(Sim().Requests()[0], ServiceRecord::Request(36)));
}

TEST_F(Exchange, RecordsWithAWrongSizeAreRefusedWithoutTraffic) {
    for (uint32_t size : {12015u, 12017u, 0u}) {
        ServiceRecord record = ServiceRecord::Request(1);
        record.size = size;
        const ServiceRecord before = record;
        EXPECT_FALSE(ExchangeRecord(&record)) << size;
        EXPECT_TRUE(SameBytes(record, before));
    }
    EXPECT_FALSE(ExchangeRecord(nullptr));
    EXPECT_EQ(fake::Os().pipeCalls, 0u);
    EXPECT_EQ(fake::Os().sleeps, 0u);
}

TEST_F(Exchange, NoServiceMeansThreeAttemptsAndThreePauses) {
    Sim().Stop();
    ServiceRecord record = ServiceRecord::Request(2);
    record.SetWord(16, 0x10);
    const ServiceRecord before = record;
    EXPECT_FALSE(ExchangeRecord(&record));
    EXPECT_TRUE(SameBytes(record, before));
    EXPECT_EQ(fake::Os().pipeCalls, 3u);
    EXPECT_EQ(fake::Os().sleeps, 3u);  // the pause follows the third attempt too
    EXPECT_EQ(fake::Os().sleptMs, 300u);
}

TEST_F(Exchange, AReportedFailureEndsTheExchangeWithTheReplyInTheRecord) {
    Script refuse;
    refuse.setResult = true;
    refuse.result = 0;
    refuse.words = {{12, 77}};
    Sim().Once(36, refuse);
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_FALSE(ExchangeRecord(&record));
    EXPECT_EQ(record.result, 0u);
    EXPECT_EQ(record.Word(12), 77u);
    EXPECT_EQ(fake::Os().pipeCalls, 1u);
}

TEST_F(Exchange, OnlyTheLow16BitsOfTheResultCount) {
    Script script;
    script.setResult = true;
    script.result = 0x00010001;
    Sim().Once(36, script);
    script.result = 0x00000101;
    Sim().Once(36, script);
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_TRUE(ExchangeRecord(&record));
    record = ServiceRecord::Request(36);
    EXPECT_FALSE(ExchangeRecord(&record));
}

TEST_F(Exchange, DamagedRepliesAreRetried) {
    // Each of these is a failed attempt; the third attempt gets a good reply.
    const std::vector<Script> damaged = {
        {.fault = Fault::kBadChecksum},
        {.fault = Fault::kShort, .faultLength = 12016},  // a whole record, but not a whole block
        {.fault = Fault::kShort, .faultLength = 16},
        {.fault = Fault::kEmpty},
        {.fault = Fault::kSilent},
        {.fault = Fault::kGarbage, .faultLength = 12032},
        {.fault = Fault::kOversize, .faultLength = 12064},
    };
    for (size_t first = 0; first < damaged.size(); ++first) {
        const size_t second = (first + 1) % damaged.size();
        fake::Os().pipeCalls = 0;
        Sim().Once(36, damaged[first]);
        Sim().Once(36, damaged[second]);
        ServiceRecord record = ServiceRecord::Request(36);
        EXPECT_TRUE(ExchangeRecord(&record)) << first;
        EXPECT_EQ(record.Word(12), 2u) << first;
        EXPECT_EQ(fake::Os().pipeCalls, 3u) << first;
    }
}

TEST_F(Exchange, ThreeBadChecksumsFailAndLeaveTheRecord) {
    Sim().Always(36, {.fault = Fault::kBadChecksum});
    ServiceRecord record = ServiceRecord::Request(36);
    const ServiceRecord before = record;
    EXPECT_FALSE(ExchangeRecord(&record));
    EXPECT_TRUE(SameBytes(record, before));
    EXPECT_EQ(Sim().RequestCount(), 3u);
}

TEST_F(Exchange, AShortReplyNeverReportsSuccessWithStaleBytes) {
    // The first 12016 bytes of a good reply, alone, must not be taken for a
    // reply: the rest of the buffer is our own request.
    Sim().Always(36, {.fault = Fault::kShort, .faultLength = 12031});
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_FALSE(ExchangeRecord(&record));
    EXPECT_EQ(record.result, 0u);
}

TEST_F(Exchange, MissingEncryptionFailsEveryAttempt) {
    fake::Os().cryptoAvailable = false;
    ServiceRecord record = ServiceRecord::Request(1);
    EXPECT_FALSE(ExchangeRecord(&record));
    EXPECT_EQ(fake::Os().pipeCalls, 3u);
}

TEST(PipeName, FormatsTheSessionIdAsSignedDecimal) {
    char16_t name[lmvx::kPipeNameUnits];
    lmvx::FormatServicePipeName(1, name);
    EXPECT_EQ(std::u16string(name), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_1");
    lmvx::FormatServicePipeName(4294967295u, name);
    EXPECT_EQ(std::u16string(name), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_-1");
    lmvx::FormatServicePipeName(2147483648u, name);
    EXPECT_EQ(std::u16string(name), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_-2147483648");
}

TEST(PipeName, FixedByTheFirstExchange) {
    fake::Os().Reset();
    fake::Os().sessionId = 7;
    ServiceRecord record = ServiceRecord::Request(1);
    ExchangeRecord(&record);
    EXPECT_EQ(fake::Os().LastPipeName(), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_7");
    fake::Os().sessionId = 8;
    record = ServiceRecord::Request(1);
    ExchangeRecord(&record);
    EXPECT_EQ(fake::Os().LastPipeName(), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_7");
}

TEST(PipeName, AFailedSessionQueryUsesSessionZero) {
    fake::Os().Reset();
    fake::Os().sessionQueryWorks = false;
    ServiceRecord record = ServiceRecord::Request(1);
    ExchangeRecord(&record);
    EXPECT_EQ(fake::Os().LastPipeName(), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_0");
}

TEST(PipeName, ConcurrentFirstExchangesAllUseTheWholeName) {
    fake::Os().Reset();
    fake::Os().sessionId = 123456789;
    const std::u16string expected = u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_123456789";
    std::atomic<int> wrong{0};
    fake::Os().SetPipe([&](const char16_t* name, const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t*) {
        if (expected != name) ++wrong;
        return false;
    });
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            ServiceRecord record = ServiceRecord::Request(1);
            ExchangeRecord(&record);
        });
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(fake::Os().pipeCalls, 24u);
    fake::Os().Reset();
}

}  // namespace

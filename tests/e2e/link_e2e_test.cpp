// The library against the simulator over the real pipe, with the real
// memory protection of the platform.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "link/exchange.h"
#include "lmvx.h"
#include "simulator.h"

namespace {

using lmvx::ServiceRecord;

class RealPipe : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.Start()); }
    void TearDown() override { sim_.Stop(); }
    sim::Simulator sim_;
};

TEST_F(RealPipe, StatusExportsAnswerFromTheService) {
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);  // sends nothing while stopped
    EXPECT_EQ(sim_.RequestCount(), 0u);
    sim_.SetReadiness(2);
    EXPECT_TRUE(CheckService());
    sim_.SetReadiness(1);
    EXPECT_FALSE(CheckService());
    ASSERT_EQ(sim_.RequestCount(), 2u);
    const ServiceRecord request = sim_.Requests()[0];
    const ServiceRecord expected = ServiceRecord::Request(36);
    EXPECT_EQ(std::memcmp(&request, &expected, sizeof request), 0);
}

TEST_F(RealPipe, ExchangeCarriesTheReplyBack) {
    sim_.Once(36, {.words = {{12, 9}, {12012, 0xA5A5A5A5}}});
    ServiceRecord record = ServiceRecord::Request(36);
    ASSERT_TRUE(lmvx::ExchangeRecord(&record));
    EXPECT_EQ(record.Word(12), 9u);
    EXPECT_EQ(record.Word(12012), 0xA5A5A5A5u);  // the record's last word
}

TEST_F(RealPipe, RefusedSizeSendsNothing) {
    ServiceRecord record = ServiceRecord::Request(36);
    record.size = 12017;
    EXPECT_FALSE(lmvx::ExchangeRecord(&record));
    EXPECT_EQ(sim_.RequestCount(), 0u);
    EXPECT_EQ(sim_.RejectedCount(), 0u);
}

TEST_F(RealPipe, AReportedFailureIsNotRetried) {
    sim_.Always(36, {.setResult = true, .result = 0});
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_FALSE(lmvx::ExchangeRecord(&record));
    EXPECT_EQ(record.result, 0u);
    EXPECT_EQ(record.Word(12), 2u);  // the reply is in the record
    EXPECT_EQ(sim_.RequestCount(), 1u);
}

TEST_F(RealPipe, DamagedRepliesAreRetriedUpToThreeTimes) {
    sim_.Once(36, {.fault = sim::Fault::kBadChecksum});
    sim_.Once(36, {.fault = sim::Fault::kShort, .faultLength = 12016});
    EXPECT_TRUE(CheckService());
    EXPECT_EQ(sim_.RequestCount(), 3u);
    sim_.Always(36, {.fault = sim::Fault::kSilent});
    EXPECT_FALSE(CheckService());
    EXPECT_EQ(sim_.RequestCount(), 6u);
}

TEST(NoService, FailsAfterThreeAttemptsOfAbout100Ms) {
    ServiceRecord record = ServiceRecord::Request(1);
    const ServiceRecord before = record;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(lmvx::ExchangeRecord(&record));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
    // Three pauses of 100 ms; the bound above only catches a hang.
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::seconds(10));
    EXPECT_FALSE(CheckService());
}

}  // namespace

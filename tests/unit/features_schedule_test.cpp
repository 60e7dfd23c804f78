// Schedule, power savings, HDR and the feature word: the records sent and
// what their replies read as.
#include "features_fixture.h"

namespace {

using lmvx::ServiceRecord;

class Schedule : public FeatureService {};

TEST_F(Schedule, SwitchAndState) {
    EnableSchedule(true);
    EnableSchedule(false);
    const std::vector<ServiceRecord> sent = Sent(22);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Word(12), 1u);
    EXPECT_EQ(sent[1].Word(12), 0u);
    const struct {
        uint32_t result, state;
        bool on;
    } cases[] = {{1, 1, true}, {1, 0, false}, {1, 2, false}, {0, 1, false}};
    for (const auto& c : cases) {
        Sim().Once(23, {.setResult = true, .result = c.result, .words = {{12, c.state}}});
        EXPECT_EQ(GetSchedule(), c.on) << c.result << " " << c.state;
    }
    EnableSchedule(true);
    EXPECT_TRUE(GetSchedule());
}

TEST_F(Schedule, TimesTravelInArgumentOrder) {
    SetScheduleTime(1, 2, 3, 4);
    ServiceRecord expected = ServiceRecord::Request(25);
    for (uint32_t i = 0; i < 4; ++i) expected.SetWord(12 + 4 * i, i + 1);
    ASSERT_EQ(Sent(25).size(), 1u);
    EXPECT_EQ(std::memcmp(&Sent(25)[0], &expected, sizeof expected), 0);

    uint32_t t[4] = {9, 9, 9, 9};
    ASSERT_TRUE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    EXPECT_EQ(t[0], 1u);
    EXPECT_EQ(t[1], 2u);
    EXPECT_EQ(t[2], 3u);
    EXPECT_EQ(t[3], 4u);
    const ServiceRecord bare = ServiceRecord::Request(24);
    EXPECT_EQ(std::memcmp(&Sent(24)[0], &bare, sizeof bare), 0);

    Sim().Once(24, {.words = {{12, 0xFFFFFFFF}, {16, 0}, {20, 7}, {24, 0x80000000}}});
    ASSERT_TRUE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    EXPECT_EQ(t[0], 0xFFFFFFFFu);
    EXPECT_EQ(t[1], 0u);
    EXPECT_EQ(t[2], 7u);
    EXPECT_EQ(t[3], 0x80000000u);
}

TEST_F(Schedule, FailedOrNullTimeQueriesStoreNothing) {
    uint32_t t[4] = {11, 22, 33, 44};
    Sim().Once(24, {.setResult = true, .result = 0, .words = {{12, 1}, {16, 2}, {20, 3}, {24, 4}}});
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    Sim().Stop();
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    ASSERT_TRUE(Sim().Start());
    Sim().ClearLog();
    EXPECT_FALSE(GetScheduleTime(nullptr, &t[1], &t[2], &t[3]));
    EXPECT_FALSE(GetScheduleTime(&t[0], nullptr, &t[2], &t[3]));
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], nullptr, &t[3]));
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], &t[2], nullptr));
    EXPECT_EQ(Sim().RequestCount(), 0u);
    EXPECT_EQ(t[0], 11u);
    EXPECT_EQ(t[1], 22u);
    EXPECT_EQ(t[2], 33u);
    EXPECT_EQ(t[3], 44u);
}

TEST_F(Schedule, DisplayModeIsTranslatedBothWays) {
    // Mode 1 is service value 0x05 in every display-mode table.
    SetShedulerMode(1);
    SetShedulerMode(9999);  // unknown: still sent, as 0xFFFFFFFF
    const std::vector<ServiceRecord> sent = Sent(27);
    ASSERT_EQ(sent.size(), 2u);
    ServiceRecord expected = ServiceRecord::Request(27);
    expected.SetWord(16, 0x05);
    EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0);
    expected.SetWord(16, 0xFFFFFFFF);
    EXPECT_EQ(std::memcmp(&sent[1], &expected, sizeof expected), 0);

    EXPECT_EQ(GetShedulerMode(), 1);  // the service kept 0x05
    const ServiceRecord query = Sent(26).at(0);
    const ServiceRecord bare = ServiceRecord::Request(26);
    EXPECT_EQ(std::memcmp(&query, &bare, sizeof bare), 0);
    Sim().Once(26, {.setResult = true, .result = 0, .words = {{16, 0x05}}});
    EXPECT_EQ(GetShedulerMode(), -1);
}

TEST_F(Schedule, FixedSchemeModes) {
    AnswerScheme(2);
    SetShedulerMode(20);  // 0x0D in the fixed scheme
    EXPECT_EQ(Sent(27).at(0).Word(16), 0x0Du);
    EXPECT_EQ(GetShedulerMode(), 20);
    Sim().Once(26, {.words = {{16, 0x99}}});  // no identifier in the fixed scheme
    EXPECT_EQ(GetShedulerMode(), -1);
}

TEST_F(Schedule, PowerSavingsQuerySendsTheBytesOfSwitchingItOff) {
    SetPowerSavings(false);
    (void)GetPowerSavings();
    SetPowerSavings(true);
    const std::vector<ServiceRecord> sent = Sent(30);
    ASSERT_EQ(sent.size(), 3u);
    const ServiceRecord off = ServiceRecord::Request(30);
    EXPECT_EQ(std::memcmp(&sent[0], &off, sizeof off), 0);
    EXPECT_EQ(std::memcmp(&sent[1], &off, sizeof off), 0);
    ServiceRecord on = ServiceRecord::Request(30);
    on.SetWord(12, 1);
    EXPECT_EQ(std::memcmp(&sent[2], &on, sizeof on), 0);
    EXPECT_TRUE(GetPowerSavings());  // the simulated service switched it on

    const struct {
        uint32_t result, state;
        bool on;
    } cases[] = {{1, 1, true}, {1, 0, false}, {1, 2, false}, {0, 1, false}};
    for (const auto& c : cases) {
        Sim().Once(30, {.setResult = true, .result = c.result, .words = {{12, c.state}}});
        EXPECT_EQ(GetPowerSavings(), c.on) << c.result << " " << c.state;
    }
}

TEST_F(Schedule, HdrIsOnOnlyForExactlyOne) {
    const struct {
        uint32_t result, state;
        bool on;
    } cases[] = {{1, 1, true}, {1, 0, false}, {1, 2, false}, {0, 1, false}, {0x10001, 1, true}};
    for (const auto& c : cases) {
        Sim().Once(28, {.setResult = true, .result = c.result, .words = {{12, c.state}}});
        EXPECT_EQ(GetHDRStatus(), c.on) << c.result << " " << c.state;
    }
    EXPECT_FALSE(GetHDRStatus());
    EXPECT_EQ(Sim().Control({"hdr", "1"}), "ok");
    EXPECT_TRUE(GetHDRStatus());
    const ServiceRecord bare = ServiceRecord::Request(28);
    EXPECT_EQ(std::memcmp(&Sent(28).at(0), &bare, sizeof bare), 0);
}

TEST_F(Schedule, FeatureWordIsHandedOverUnchangedInEveryState) {
    const lmvx::ConnectionStateValue states[] = {lmvx::kConnected, lmvx::kDisconnected, lmvx::kStopped,
                                                 lmvx::kStartFailed};
    for (const auto state : states) {
        lmvx::ConnectionState = state;
        Sim().ClearLog();
        Sim().Once(29, {.words = {{12, 0xFFFFFFFF}}});
        EXPECT_EQ(GetFeatures(), 0xFFFFFFFFu) << state;
        ASSERT_EQ(Sim().Commands(), std::vector<uint32_t>{29}) << state;
        const ServiceRecord bare = ServiceRecord::Request(29);
        EXPECT_EQ(std::memcmp(&Sim().Requests()[0], &bare, sizeof bare), 0);
        EXPECT_EQ(Sim().Control({"features", "0x00A5"}), "ok");
        EXPECT_EQ(GetFeatures(), 0xA5u) << state;
        Sim().Once(29, {.setResult = true, .result = 0, .words = {{12, 7}}});
        EXPECT_EQ(GetFeatures(), 0u) << state;
    }
    // No service: the full three attempts, then 0.
    Sim().Stop();
    const uint32_t calls = fake::Os().pipeCalls;
    EXPECT_EQ(GetFeatures(), 0u);
    EXPECT_EQ(fake::Os().pipeCalls - calls, 3u);
}

}  // namespace

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link/service.h"
#include "sim_fixture.h"

namespace {

using ORV::LvxAsService;
using lmvx::ServiceRecord;

class RequestForms : public SimulatedService {
protected:
    // Runs `send` and returns the one request the service received.
    ServiceRecord Sent(const std::function<void()>& send) {
        Sim().ClearLog();
        send();
        const auto requests = Sim().Requests();
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? ServiceRecord::Request(0) : requests[0];
    }
};

// The expected request: size, command, then (offset, word) pairs; every
// other byte zero.
ServiceRecord Expected(uint32_t command, std::vector<std::pair<uint32_t, uint32_t>> words = {}) {
    ServiceRecord record = ServiceRecord::Request(command);
    for (auto [offset, value] : words) record.SetWord(offset, value);
    return record;
}

void ExpectSame(const ServiceRecord& sent, const ServiceRecord& expected) {
    EXPECT_EQ(sent.command, expected.command);
    EXPECT_EQ(std::memcmp(&sent, &expected, sizeof sent), 0) << "command " << expected.command;
}

TEST_F(RequestForms, WordCommandsFillTheirWordsInOrder) {
    uint32_t out = 0;
    uint32_t times[4] = {};
    const uint32_t setTimes[4] = {1, 2, 3, 4};
    ServiceRecord reply;
    const std::vector<std::pair<std::function<void()>, ServiceRecord>> cases = {
        {[&] { LvxAsService::QueryStatus(&out); }, Expected(1)},
        {[&] { LvxAsService::GetVcpValue(0x12, &out); }, Expected(2, {{16, 0x12}})},
        {[&] { LvxAsService::SetVcpValue(0x10, 55); }, Expected(3, {{16, 0x10}, {20, 55}})},
        {[&] { LvxAsService::GetVcpCapabilities(0x60, &reply); }, Expected(4, {{16, 0x60}})},
        {[&] { LvxAsService::EnableDesktopPartition(true); }, Expected(5, {{12, 1}})},
        {[&] { LvxAsService::GetDesktopPartitionState(&out); }, Expected(6)},
        {[&] { LvxAsService::GetDesktopPartition(2, &out); }, Expected(7, {{12, 2}})},
        {[&] { LvxAsService::SetDesktopPartition(1, 9); }, Expected(8, {{12, 1}, {16, 9}})},
        {[&] { LvxAsService::OpenLayoutCustomizer(); }, Expected(9)},
        {[&] { LvxAsService::EnableAutoColor(false); }, Expected(10)},
        {[&] { LvxAsService::GetAutoColorState(&out); }, Expected(11)},
        {[&] { LvxAsService::GetAutoColorTable(&reply); }, Expected(15)},
        {[&] { LvxAsService::SendNoPayload16(); }, Expected(16)},
        {[&] { LvxAsService::EndSession(); }, Expected(17)},
        {[&] { LvxAsService::GetScreenList(&reply); }, Expected(18)},
        {[&] { LvxAsService::GetNameList19(&reply); }, Expected(19)},
        {[&] { LvxAsService::SendValue20(0xABCD); }, Expected(20, {{12, 0xABCD}})},
        {[&] { LvxAsService::GetColorModeList(&reply); }, Expected(21)},
        {[&] { LvxAsService::EnableSchedule(true); }, Expected(22, {{12, 1}})},
        {[&] { LvxAsService::GetScheduleState(&out); }, Expected(23)},
        {[&] { LvxAsService::GetScheduleTimes(times); }, Expected(24)},
        {[&] { LvxAsService::SetScheduleTimes(setTimes); }, Expected(25, {{12, 1}, {16, 2}, {20, 3}, {24, 4}})},
        {[&] { LvxAsService::GetScheduleMode(&out); }, Expected(26)},
        {[&] { LvxAsService::SetScheduleMode(3); }, Expected(27, {{16, 3}})},
        {[&] { LvxAsService::GetHdrState(&out); }, Expected(28)},
        {[&] { LvxAsService::GetFeatureWord(&out); }, Expected(29)},
        {[&] { LvxAsService::PowerSavings(1, &out); }, Expected(30, {{12, 1}})},
        {[&] { LvxAsService::GetModeScheme(&out); }, Expected(31)},
        {[&] { LvxAsService::RequestDataRefresh(-4); }, Expected(34, {{16, 0xFFFFFFFC}})},
        {[&] { LvxAsService::GetModeVariant(&out); }, Expected(35)},
        {[&] { LvxAsService::CheckService(&out); }, Expected(36)},
    };
    for (const auto& [send, expected] : cases) ExpectSame(Sent(send), expected);
}

TEST_F(RequestForms, SixtyFourBitArgumentsSpanOffsets12To19) {
    const uint64_t value = 0x1122334455667788ull;
    ExpectSame(Sent([&] { LvxAsService::RegisterNotificationWindow(value); }),
               Expected(32, {{12, 0x55667788}, {16, 0x11223344}}));
    ExpectSame(Sent([&] { LvxAsService::SendValue64(value); }), Expected(33, {{12, 0x55667788}, {16, 0x11223344}}));
}

TEST_F(RequestForms, StringsGoIntoTheirSlots) {
    const ServiceRecord add = Sent([] { LvxAsService::AddAutoColorApp(u"game.exe", u"C:\\Games\\game.exe"); });
    char16_t text[300];
    add.ReadString(16, 100, text, 300);
    EXPECT_EQ(std::u16string(text), u"game.exe");
    add.ReadString(216, 300, text, 300);
    EXPECT_EQ(std::u16string(text), u"C:\\Games\\game.exe");

    const ServiceRecord mode = Sent([] { LvxAsService::SetAutoColorAppMode(u"game.exe", u"Vivid"); });
    mode.ReadString(816, 100, text, 300);
    EXPECT_EQ(std::u16string(text), u"Vivid");
    EXPECT_EQ(mode.Word(216), 0u);

    const ServiceRecord erase = Sent([] { LvxAsService::DeleteAutoColorApp(u"game.exe"); });
    EXPECT_EQ(erase.command, 13u);
    erase.ReadString(16, 100, text, 300);
    EXPECT_EQ(std::u16string(text), u"game.exe");
}

TEST_F(RequestForms, PollingCategoriesMapToTheirCommands) {
    const std::pair<int32_t, uint32_t> map[] = {{1, 38}, {2, 37}, {3, 40}, {4, 39}, {5, 41}};
    for (const auto& entry : map) {
        const int32_t category = entry.first;
        ExpectSame(Sent([&] { LvxAsService::SetPollingInterval(category, 5000); }), Expected(entry.second, {{12, 5000}}));
    }
    for (int32_t category : {0, 6, -1}) {
        Sim().ClearLog();
        EXPECT_FALSE(LvxAsService::SetPollingInterval(category, 1000));
        EXPECT_EQ(Sim().RequestCount(), 0u);
    }
}

TEST_F(RequestForms, QueriesReadTheirAnswerWords) {
    Sim().Once(2, {.words = {{20, 70}}});
    uint32_t out = 0;
    ASSERT_TRUE(LvxAsService::GetVcpValue(0x10, &out));
    EXPECT_EQ(out, 70u);
    Sim().Once(26, {.words = {{16, 4}}});
    ASSERT_TRUE(LvxAsService::GetScheduleMode(&out));
    EXPECT_EQ(out, 4u);
    Sim().Once(24, {.words = {{12, 6}, {16, 30}, {20, 18}, {24, 45}}});
    uint32_t times[4] = {};
    ASSERT_TRUE(LvxAsService::GetScheduleTimes(times));
    EXPECT_EQ(times[3], 45u);
    // A failed query writes nothing.
    Sim().Once(2, {.setResult = true, .result = 0, .words = {{20, 99}}});
    out = 5;
    EXPECT_FALSE(LvxAsService::GetVcpValue(0x10, &out));
    EXPECT_EQ(out, 5u);
}

}  // namespace

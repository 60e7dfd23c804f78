// The feature services through the built library against the simulator on
// the real pipe. Portable: the same tests run under Wine, all in one
// process, so each test starts and stops its own session.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lmvx.h"
#include "simulator.h"

namespace {

using LvxString = std::basic_string<LvxChar>;

LvxString W(const char16_t* text) {
    LvxString out;
    for (; *text != 0; ++text) out.push_back(static_cast<LvxChar>(*text));
    return out;
}

LvxString Slot(const LvxChar* slot) {
    LvxString out;
    for (size_t i = 0; i < LVX_NAME_UNITS && slot[i] != 0; ++i) out.push_back(slot[i]);
    return out;
}

std::mutex eventsMutex;
std::vector<LvxDataType> events;

void OnEvent(LvxDataType type) {
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.push_back(type);
}

bool EventArrives(LvxDataType type) {
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard<std::mutex> lock(eventsMutex);
            for (LvxDataType seen : events)
                if (seen == type) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class Features : public ::testing::Test {
protected:
    void SetUp() override {
        Stop(false);  // whatever an earlier test left
        ASSERT_TRUE(sim_.Start());
    }
    void TearDown() override {
        Stop(false);
        SetEventHandler(nullptr);
        sim_.Stop();
    }
    bool Has(uint32_t command) {
        for (uint32_t c : sim_.Commands())
            if (c == command) return true;
        return false;
    }
    sim::Simulator sim_;
};

TEST_F(Features, FeatureWordWithoutASession) {
    ASSERT_NE(GetLVXStatus(), LVX_STATE_CONNECTED);
    EXPECT_EQ(GetFeatures(), 0u);
    ASSERT_EQ(sim_.Control({"features", "0x80000001"}), "ok");
    EXPECT_EQ(GetFeatures(), 0x80000001u);
    ASSERT_EQ(sim_.Control({"features", "0xFFFFFFFF"}), "ok");
    EXPECT_EQ(GetFeatures(), 0xFFFFFFFFu);
    EXPECT_EQ(sim_.Commands(), (std::vector<uint32_t>{29, 29, 29}));
    sim_.Stop();
    EXPECT_EQ(GetFeatures(), 0u);  // nobody answers
    ASSERT_TRUE(sim_.Start());
}

TEST_F(Features, GatedWithoutASession) {
    ASSERT_NE(GetLVXStatus(), LVX_STATE_CONNECTED);
    AutoColorTable table;
    std::memset(&table, 0x5A, sizeof table);
    DPScreenList screens;
    std::memset(&screens, 0x5A, sizeof screens);
    uint32_t t[4] = {1, 2, 3, 4};
    EXPECT_EQ(GetAutoColorTable(&table), 0u);
    EXPECT_EQ(GetDPSupportedScreens(&screens), 0u);
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    EXPECT_EQ(GetDesktopPartition(0), 0xFFFFFFFFu);
    EXPECT_EQ(GetShedulerMode(), -1);
    EXPECT_FALSE(GetHDRStatus());
    EnableAutoColor(true);
    AddAutoColorApp(W(u"App").c_str(), W(u"C:\\app.exe").c_str());
    EXPECT_EQ(table.count, 0x5A5A5A5Au);
    EXPECT_EQ(screens.count, 0x5A5A5A5Au);
    EXPECT_EQ(t[3], 4u);
    EXPECT_EQ(sim_.RequestCount(), 0u);
}

TEST_F(Features, AutomaticColourRoundTrip) {
    ASSERT_TRUE(Start());
    EXPECT_FALSE(IsAutoColorEnabled());
    EnableAutoColor(true);
    EXPECT_TRUE(IsAutoColorEnabled());

    AutoColorModeList modes;
    getSupportedAutoColorMode(&modes);
    ASSERT_EQ(modes.count, 5u);
    EXPECT_EQ(Slot(modes.modeNames[2]), W(u"Gaming"));

    AddAutoColorApp(W(u"Player").c_str(), W(u"C:\\Apps\\player.exe").c_str());
    AddAutoColorApp(W(u"Editor").c_str(), W(u"C:\\Apps\\editor.exe").c_str());
    SetAutoColorAppMode(W(u"Player").c_str(), W(u"Movie").c_str());
    AutoColorTable table;
    ASSERT_EQ(GetAutoColorTable(&table), 2u);
    EXPECT_EQ(table.count, 2u);
    EXPECT_EQ(Slot(table.appNames[0]), W(u"Player"));
    EXPECT_EQ(Slot(table.modeNames[0]), W(u"Movie"));
    EXPECT_EQ(Slot(table.appNames[1]), W(u"Editor"));
    EXPECT_EQ(Slot(table.modeNames[1]), W(u"Default"));

    // A name one character too long never reaches the service.
    const LvxString tooLong(100, static_cast<LvxChar>('n'));
    sim_.ClearLog();
    DeleteAutoColorApp(tooLong.c_str());
    AddAutoColorApp(tooLong.c_str(), W(u"C:\\x.exe").c_str());
    EXPECT_EQ(sim_.RequestCount(), 0u);

    DeleteAutoColorApp(W(u"Player").c_str());
    ASSERT_EQ(GetAutoColorTable(&table), 1u);
    EXPECT_EQ(Slot(table.appNames[0]), W(u"Editor"));

    // Thirty names from the service: the caller's list takes twenty.
    std::string thirty;
    for (int i = 0; i < 30; ++i) thirty += (i ? "," : "") + std::string("m") + std::to_string(i);
    ASSERT_EQ(sim_.Control({"modes", thirty}), "ok");
    getSupportedAutoColorMode(&modes);
    EXPECT_EQ(modes.count, 20u);
    EXPECT_EQ(Slot(modes.modeNames[19]), W(u"m19"));
}

TEST_F(Features, DesktopPartitionRoundTrip) {
    ASSERT_TRUE(Start());
    EnableDesktopPartition(true);
    EXPECT_TRUE(IsDesktopPartitionEnabled());
    ASSERT_EQ(sim_.Control({"screens", "3"}), "ok");
    DPScreenList screens;
    ASSERT_EQ(GetDPSupportedScreens(&screens), 3u);
    EXPECT_EQ(Slot(screens.screenNames[2]), W(u"Screen 3"));
    SetDesktopPartition(2, 4);
    EXPECT_EQ(GetDesktopPartition(2), 4u);
    EXPECT_EQ(GetDesktopPartition(3), 0xFFFFFFFFu);  // no such screen: refused
    sim_.ClearLog();
    LuanchDesktopPartitionCustomizer();
    EXPECT_EQ(sim_.Commands(), std::vector<uint32_t>{9});
    EnableDesktopPartition(false);
    EXPECT_FALSE(IsDesktopPartitionEnabled());
}

TEST_F(Features, ScheduleAndPowerSavingsRoundTrip) {
    ASSERT_TRUE(Start());
    EnableSchedule(true);
    EXPECT_TRUE(GetSchedule());
    SetScheduleTime(1320, 420, 30, 0);
    uint32_t t[4] = {};
    ASSERT_TRUE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    EXPECT_EQ(t[0], 1320u);
    EXPECT_EQ(t[1], 420u);
    EXPECT_EQ(t[2], 30u);
    EXPECT_EQ(t[3], 0u);

    SetShedulerMode(1);  // display mode 1 is service value 0x05
    EXPECT_EQ(GetShedulerMode(), 1);
    sim_.ClearLog();
    SetShedulerMode(9999);  // unknown: sent as 0xFFFFFFFF, which the service refuses
    EXPECT_TRUE(Has(27));
    EXPECT_EQ(GetShedulerMode(), 1);

    EXPECT_FALSE(GetPowerSavings());
    SetPowerSavings(true);
    EXPECT_TRUE(GetPowerSavings());
    EXPECT_TRUE(GetPowerSavings());  // asking leaves it on
}

TEST_F(Features, HdrChangesReachTheHandler) {
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        events.clear();
    }
    EnableEvent(LVX_EVENT_ALL);
    SetEventHandler(OnEvent);
    ASSERT_TRUE(Start());
    EXPECT_FALSE(GetHDRStatus());
    ASSERT_EQ(sim_.Control({"hdr", "1"}), "ok");
    EXPECT_TRUE(EventArrives(LVX_EVENT_SERVICE_103));
    EXPECT_TRUE(GetHDRStatus());
    ASSERT_EQ(sim_.Control({"hdr", "0"}), "ok");
    EXPECT_TRUE(EventArrives(LVX_EVENT_SERVICE_104));
    EXPECT_FALSE(GetHDRStatus());
}

}  // namespace

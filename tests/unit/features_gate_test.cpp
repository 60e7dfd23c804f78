// Every gated feature export, in every state but Connected: nothing sent,
// nothing written, the failure value returned.
#include "features_fixture.h"

namespace {

class FeatureGate : public FeatureService {};

TEST_F(FeatureGate, GatedExportsDoNothingUnlessConnected) {
    const std::u16string name = Name(4);
    for (const auto state : kNotConnectedStates) {
        lmvx::ConnectionState = state;
        AutoColorTable table;
        AutoColorModeList modes;
        DPScreenList screens;
        Guard(&table);
        Guard(&modes);
        Guard(&screens);
        uint32_t t[4] = {5, 6, 7, 8};

        EnableAutoColor(true);
        EXPECT_FALSE(IsAutoColorEnabled());
        AddAutoColorApp(L(name), L(name));
        DeleteAutoColorApp(L(name));
        SetAutoColorAppMode(L(name), L(name));
        EXPECT_EQ(GetAutoColorTable(&table), 0u);
        getSupportedAutoColorMode(&modes);
        EnableDesktopPartition(true);
        EXPECT_FALSE(IsDesktopPartitionEnabled());
        EXPECT_EQ(GetDPSupportedScreens(&screens), 0u);
        SetDesktopPartition(1, 2);
        EXPECT_EQ(GetDesktopPartition(1), 0xFFFFFFFFu);
        LuanchDesktopPartitionCustomizer();
        EnableSchedule(true);
        EXPECT_FALSE(GetSchedule());
        SetScheduleTime(1, 2, 3, 4);
        EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
        SetShedulerMode(1);
        EXPECT_EQ(GetShedulerMode(), -1);
        SetPowerSavings(true);
        EXPECT_FALSE(GetPowerSavings());
        EXPECT_FALSE(GetHDRStatus());

        EXPECT_EQ(Sim().RequestCount(), 0u) << state;
        EXPECT_TRUE(AllGuard(table)) << state;
        EXPECT_TRUE(AllGuard(modes)) << state;
        EXPECT_TRUE(AllGuard(screens)) << state;
        EXPECT_EQ(t[0] + t[1] + t[2] + t[3], 26u) << state;
    }
}

TEST_F(FeatureGate, ConnectedExportsEachSendTheirCommand) {
    const std::u16string name = Name(4);
    AutoColorTable table;
    AutoColorModeList modes;
    DPScreenList screens;
    uint32_t t[4];
    AddAutoColorApp(L(name), L(name));
    const struct {
        uint32_t command;
        std::function<void()> call;
    } calls[] = {
        {10, [] { EnableAutoColor(true); }},
        {11, [] { (void)IsAutoColorEnabled(); }},
        {12, [&] { AddAutoColorApp(L(name), L(name)); }},
        {14, [&] { SetAutoColorAppMode(L(name), L(u"Movie")); }},
        {15, [&] { (void)GetAutoColorTable(&table); }},
        {21, [&] { getSupportedAutoColorMode(&modes); }},
        {13, [&] { DeleteAutoColorApp(L(name)); }},
        {5, [] { EnableDesktopPartition(true); }},
        {6, [] { (void)IsDesktopPartitionEnabled(); }},
        {18, [&] { (void)GetDPSupportedScreens(&screens); }},
        {8, [] { SetDesktopPartition(0, 2); }},
        {7, [] { (void)GetDesktopPartition(0); }},
        {9, [] { LuanchDesktopPartitionCustomizer(); }},
        {22, [] { EnableSchedule(true); }},
        {23, [] { (void)GetSchedule(); }},
        {25, [] { SetScheduleTime(1, 2, 3, 4); }},
        {24, [&] { (void)GetScheduleTime(&t[0], &t[1], &t[2], &t[3]); }},
        {27, [] { SetShedulerMode(1); }},
        {26, [] { (void)GetShedulerMode(); }},
        {30, [] { SetPowerSavings(true); }},
        {30, [] { (void)GetPowerSavings(); }},
        {28, [] { (void)GetHDRStatus(); }},
        {29, [] { (void)GetFeatures(); }},
    };
    (void)GetShedulerMode();  // the display-mode scheme, asked once
    for (const auto& c : calls) {
        Sim().ClearLog();
        c.call();
        EXPECT_EQ(Sim().Commands(), std::vector<uint32_t>{c.command}) << c.command;
        EXPECT_EQ(Sim().Requests().at(0).result, 0u);
    }
}

}  // namespace

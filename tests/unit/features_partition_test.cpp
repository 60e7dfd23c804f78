// Desktop partition: the records sent and the screen list copied into the
// caller's buffer.
#include "features_fixture.h"

namespace {

using lmvx::ServiceRecord;

class DesktopPartition : public FeatureService {};

TEST_F(DesktopPartition, SwitchStateAndCustomizerRecords) {
    EnableDesktopPartition(true);
    EnableDesktopPartition(false);
    LuanchDesktopPartitionCustomizer();
    const std::vector<ServiceRecord> sent = Sim().Requests();
    ASSERT_EQ(sent.size(), 3u);
    ServiceRecord expected = ServiceRecord::Request(5);
    expected.SetWord(12, 1);
    EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0);
    expected.SetWord(12, 0);
    EXPECT_EQ(std::memcmp(&sent[1], &expected, sizeof expected), 0);
    const ServiceRecord customizer = ServiceRecord::Request(9);
    EXPECT_EQ(std::memcmp(&sent[2], &customizer, sizeof customizer), 0);
    EXPECT_NE(Sim().Control({"feature-state"}).find(" customizer=1 "), std::string::npos);

    const struct {
        uint32_t result, state;
        bool on;
    } cases[] = {{1, 1, true}, {1, 0, false}, {1, 2, false}, {0, 1, false}};
    for (const auto& c : cases) {
        Sim().Once(6, {.setResult = true, .result = c.result, .words = {{12, c.state}}});
        EXPECT_EQ(IsDesktopPartitionEnabled(), c.on) << c.result << " " << c.state;
    }
}

TEST_F(DesktopPartition, ScreenNumberAndValueTravelAtTwelveAndSixteen) {
    SetDesktopPartition(1, 3);
    ServiceRecord set = ServiceRecord::Request(8);
    set.SetWord(12, 1);
    set.SetWord(16, 3);
    ASSERT_EQ(Sent(8).size(), 1u);
    EXPECT_EQ(std::memcmp(&Sent(8)[0], &set, sizeof set), 0);

    Sim().Once(7, {.setResult = true, .result = 1, .words = {{16, 0x1234}}});
    EXPECT_EQ(GetDesktopPartition(2), 0x1234u);
    ServiceRecord get = ServiceRecord::Request(7);
    get.SetWord(12, 2);
    EXPECT_EQ(std::memcmp(&Sent(7)[0], &get, sizeof get), 0);

    // Through the simulated service: what was set reads back.
    EXPECT_EQ(GetDesktopPartition(1), 3u);
    EXPECT_EQ(GetDesktopPartition(0), 0u);
    // A refused request (the service has no screen 5) and a lost service.
    EXPECT_EQ(GetDesktopPartition(5), 0xFFFFFFFFu);
    Sim().Stop();
    EXPECT_EQ(GetDesktopPartition(1), 0xFFFFFFFFu);
}

TEST_F(DesktopPartition, ScreenListIsClampedToEight) {
    const std::vector<std::u16string> names = Numbered(u"Display ", 8);
    const struct {
        int32_t count;
        uint32_t expected;
    } cases[] = {{12, 8}, {9, 8}, {8, 8}, {2, 2}, {0, 0}, {-1, 0}, {INT32_MIN, 0}};
    for (const auto& c : cases) {
        Sim().Once(18, ListReply(c.count, 16, names));
        DPScreenList list;
        Guard(&list);
        EXPECT_EQ(GetDPSupportedScreens(&list), c.expected) << c.count;
        EXPECT_EQ(list.count, c.expected) << c.count;
        for (uint32_t i = 0; i < c.expected; ++i) EXPECT_EQ(SlotText(list.screenNames[i]), names[i]) << i;
        EXPECT_TRUE(AllGuard(list, 4 + 200 * c.expected)) << c.count;
    }
}

TEST_F(DesktopPartition, ScreenListFromTheServiceAndFaultyReplies) {
    DPScreenList list;
    Guard(&list);
    ASSERT_EQ(GetDPSupportedScreens(&list), 2u);
    EXPECT_EQ(SlotText(list.screenNames[0]), u"Screen 1");
    EXPECT_EQ(SlotText(list.screenNames[1]), u"Screen 2");
    EXPECT_EQ(list.screenNames[1][9], kGuardUnit);  // after the zero: the caller's

    // A name filling its slot without a zero is cut to 99 characters.
    const std::u16string full = Name(100);
    Sim().Once(18, ListReply(2, 16, {full, u"next"}));
    Guard(&list);
    ASSERT_EQ(GetDPSupportedScreens(&list), 2u);
    EXPECT_EQ(SlotText(list.screenNames[0]), full.substr(0, 99));
    EXPECT_EQ(list.screenNames[0][99], 0);
    EXPECT_EQ(SlotText(list.screenNames[1]), u"next");

    Guard(&list);
    Sim().Once(18, {.setResult = true, .result = 0, .words = {{12, 2}}});
    EXPECT_EQ(GetDPSupportedScreens(&list), 0u);
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(AllGuard(list, 4));

    const size_t before = Sim().RequestCount();
    EXPECT_EQ(GetDPSupportedScreens(nullptr), 0u);
    EXPECT_EQ(Sim().RequestCount(), before);
}

}  // namespace

// Automatic colour: the records sent, the refusals of caller strings that do
// not fit, and the copying of list replies into the caller's buffers.
#include <memory>

#include "features_fixture.h"

namespace {

using lmvx::ServiceRecord;

class AutoColor : public FeatureService {};

TEST_F(AutoColor, SwitchAndStateRecords) {
    EnableAutoColor(true);
    EnableAutoColor(false);
    const std::vector<ServiceRecord> sent = Sent(10);
    ASSERT_EQ(sent.size(), 2u);
    ServiceRecord expected = ServiceRecord::Request(10);
    expected.SetWord(12, 1);
    EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0);
    expected.SetWord(12, 0);
    EXPECT_EQ(std::memcmp(&sent[1], &expected, sizeof expected), 0);

    // Only a good reply holding exactly 1 is "on".
    const struct {
        uint32_t result, state;
        bool on;
    } cases[] = {{1, 1, true}, {1, 0, false}, {1, 2, false}, {1, 0xFFFFFFFF, false}, {0, 1, false}};
    for (const auto& c : cases) {
        Sim().Once(11, {.setResult = true, .result = c.result, .words = {{12, c.state}}});
        EXPECT_EQ(IsAutoColorEnabled(), c.on) << c.result << " " << c.state;
    }
    const ServiceRecord query = Sent(11).at(0);
    const ServiceRecord bare = ServiceRecord::Request(11);
    EXPECT_EQ(std::memcmp(&query, &bare, sizeof bare), 0);
}

TEST_F(AutoColor, LongestStringsAreSentWholeAtTheirOffsets) {
    const std::u16string name = Name(99), path = Name(299, u'a'), mode = Name(99, u'n');
    AddAutoColorApp(L(name), L(path));
    SetAutoColorAppMode(L(name), L(mode));
    DeleteAutoColorApp(L(name));

    ServiceRecord add = ServiceRecord::Request(12);
    std::memcpy(add.Bytes() + 16, name.c_str(), 2 * 100);   // the zero in the last unit
    std::memcpy(add.Bytes() + 216, path.c_str(), 2 * 300);
    ServiceRecord setMode = ServiceRecord::Request(14);
    std::memcpy(setMode.Bytes() + 16, name.c_str(), 2 * 100);
    std::memcpy(setMode.Bytes() + 816, mode.c_str(), 2 * 100);  // 800 bytes on, 216..815 zero
    ServiceRecord remove = ServiceRecord::Request(13);
    std::memcpy(remove.Bytes() + 16, name.c_str(), 2 * 100);

    const std::vector<ServiceRecord> sent = Sim().Requests();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(std::memcmp(&sent[0], &add, sizeof add), 0);
    EXPECT_EQ(std::memcmp(&sent[1], &setMode, sizeof setMode), 0);
    EXPECT_EQ(std::memcmp(&sent[2], &remove, sizeof remove), 0);
}

TEST_F(AutoColor, StringsThatDoNotFitOrAreMissingSendNothing) {
    const std::u16string ok = Name(5), longName = Name(100), longPath = Name(300), hugeName = Name(5000);
    AddAutoColorApp(L(longName), L(ok));
    AddAutoColorApp(L(ok), L(longPath));
    AddAutoColorApp(L(hugeName), L(ok));
    AddAutoColorApp(nullptr, L(ok));
    AddAutoColorApp(L(ok), nullptr);
    DeleteAutoColorApp(L(longName));
    DeleteAutoColorApp(nullptr);
    SetAutoColorAppMode(L(longName), L(ok));
    SetAutoColorAppMode(L(ok), L(longName));
    SetAutoColorAppMode(nullptr, L(ok));
    SetAutoColorAppMode(L(ok), nullptr);
    EXPECT_EQ(Sim().RequestCount(), 0u);
    EXPECT_NE(Sim().Control({"feature-state"}).find(" apps= "), std::string::npos);
}

TEST_F(AutoColor, UnterminatedCallerStringsAreReadNoFurtherThanTheirSlot) {
    // Exactly one slot of characters and nothing after them: the address
    // sanitizer stage fails on any read past the end.
    const auto name = std::make_unique<LvxChar[]>(100);
    const auto path = std::make_unique<LvxChar[]>(300);
    for (size_t i = 0; i < 100; ++i) name[i] = u'x';
    for (size_t i = 0; i < 300; ++i) path[i] = u'y';
    const std::u16string ok = Name(3);
    AddAutoColorApp(name.get(), L(ok));
    AddAutoColorApp(L(ok), path.get());
    DeleteAutoColorApp(name.get());
    SetAutoColorAppMode(L(ok), name.get());
    EXPECT_EQ(Sim().RequestCount(), 0u);
}

TEST_F(AutoColor, TableRoundTripsThroughTheService) {
    AddAutoColorApp(L(u"Player"), L(u"C:\\Apps\\player.exe"));
    AddAutoColorApp(L(u"Editor"), L(u"C:\\Apps\\editor.exe"));
    SetAutoColorAppMode(L(u"Editor"), L(u"Photo"));
    AutoColorTable table;
    Guard(&table);
    ASSERT_EQ(GetAutoColorTable(&table), 2u);
    EXPECT_EQ(table.count, 2u);
    EXPECT_EQ(SlotText(table.appNames[0]), u"Player");
    EXPECT_EQ(SlotText(table.modeNames[0]), u"Default");
    EXPECT_EQ(SlotText(table.appNames[1]), u"Editor");
    EXPECT_EQ(SlotText(table.modeNames[1]), u"Photo");
    // Each slot is written up to its zero; the rest keeps the caller's bytes.
    EXPECT_EQ(table.appNames[0][6], 0);
    EXPECT_EQ(table.appNames[0][7], kGuardUnit);
    EXPECT_EQ(table.appNames[2][0], kGuardUnit);

    DeleteAutoColorApp(L(u"Player"));
    ASSERT_EQ(GetAutoColorTable(&table), 1u);
    EXPECT_EQ(SlotText(table.appNames[0]), u"Editor");
    EXPECT_EQ(SlotText(table.modeNames[0]), u"Photo");
}

TEST_F(AutoColor, TableCountsAreClampedAndBadCountsReadNothing) {
    const std::vector<std::u16string> apps = Numbered(u"app", 30), modes = Numbered(u"mode", 30);
    const struct {
        int32_t count;
        uint32_t expected;
    } cases[] = {{45, 30}, {30, 30}, {31, 30}, {3, 3}, {1, 1}, {0, 0}, {-3, 0}, {INT32_MIN, 0}};
    for (const auto& c : cases) {
        Sim().Once(15, ListReply(c.count, 16, apps, 6016, modes));
        AutoColorTable table;
        Guard(&table);
        EXPECT_EQ(GetAutoColorTable(&table), c.expected) << c.count;
        EXPECT_EQ(table.count, c.expected) << c.count;
        for (uint32_t i = 0; i < c.expected; ++i) {
            EXPECT_EQ(SlotText(table.appNames[i]), apps[i]) << c.count << " " << i;
            EXPECT_EQ(SlotText(table.modeNames[i]), modes[i]) << c.count << " " << i;
        }
        if (c.expected < 30) {
            EXPECT_TRUE(AllGuard(table, 4 + 200 * c.expected, 6004)) << c.count;
            EXPECT_TRUE(AllGuard(table, 6004 + 200 * c.expected)) << c.count;
        }
    }
}

TEST_F(AutoColor, ReplySlotsWithoutAZeroAreCutTo99AndPairsStayAligned) {
    const std::u16string full = Name(100), exact = Name(99, u'a');
    Sim().Once(15, ListReply(3, 16, {u"first", full, exact}, 6016, {full, u"second", u"third"}));
    AutoColorTable table;
    Guard(&table);
    ASSERT_EQ(GetAutoColorTable(&table), 3u);
    EXPECT_EQ(SlotText(table.appNames[0]), u"first");
    EXPECT_EQ(SlotText(table.modeNames[0]), full.substr(0, 99));
    EXPECT_EQ(table.modeNames[0][99], 0);
    EXPECT_EQ(SlotText(table.appNames[1]), full.substr(0, 99));
    EXPECT_EQ(table.appNames[1][99], 0);
    EXPECT_EQ(SlotText(table.modeNames[1]), u"second");
    EXPECT_EQ(SlotText(table.appNames[2]), exact);
    EXPECT_EQ(SlotText(table.modeNames[2]), u"third");
    EXPECT_TRUE(AllGuard(table, 4 + 200 * 3, 6004));
    EXPECT_TRUE(AllGuard(table, 6004 + 200 * 3));
}

TEST_F(AutoColor, AFailedTableRequestWritesOnlyACountOfZero) {
    Sim().Once(15, {.setResult = true, .result = 0, .words = {{12, 5}}});
    AutoColorTable table;
    Guard(&table);
    EXPECT_EQ(GetAutoColorTable(&table), 0u);
    EXPECT_EQ(table.count, 0u);
    EXPECT_TRUE(AllGuard(table, 4));
    EXPECT_EQ(GetAutoColorTable(nullptr), 0u);  // nothing sent for a missing buffer
    EXPECT_EQ(Sent(15).size(), 1u);
}

TEST_F(AutoColor, ModeListGivesTheFirstTwenty) {
    const std::vector<std::u16string> names = Numbered(u"m", 30);
    const struct {
        int32_t count;
        uint32_t expected;
    } cases[] = {{25, 20}, {30, 20}, {45, 20}, {20, 20}, {7, 7}, {0, 0}, {-1, 0}};
    for (const auto& c : cases) {
        Sim().Once(21, ListReply(c.count, 16, names));
        AutoColorModeList list;
        Guard(&list);
        getSupportedAutoColorMode(&list);
        EXPECT_EQ(list.count, c.expected) << c.count;
        for (uint32_t i = 0; i < c.expected; ++i) EXPECT_EQ(SlotText(list.modeNames[i]), names[i]) << i;
        EXPECT_TRUE(AllGuard(list, 4 + 200 * c.expected)) << c.count;
    }
    // The service's own list, and a failed request: count 0 and nothing else.
    AutoColorModeList list;
    Guard(&list);
    getSupportedAutoColorMode(&list);
    ASSERT_EQ(list.count, 5u);
    EXPECT_EQ(SlotText(list.modeNames[4]), u"Web");
    Guard(&list);
    Sim().Once(21, {.setResult = true, .result = 0});
    getSupportedAutoColorMode(&list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(AllGuard(list, 4));
    const size_t before = Sim().RequestCount();
    getSupportedAutoColorMode(nullptr);
    EXPECT_EQ(Sim().RequestCount(), before);
}

}  // namespace

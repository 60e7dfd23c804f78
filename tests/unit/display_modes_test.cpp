// Display modes, read and set as such and as the schedule's mode. The mode
// caches and the display-mode table are filled once per process and never
// emptied (a value once stored stands for the life of the library), so each
// test needs a process of its own: ctest runs every test alone; by hand, run
// one test at a time (--gtest_filter).
#include <unistd.h>

#include <fstream>
#include <map>
#include <thread>

#include "controls/controls.h"
#include "fakes/hooks.h"
#include "service_fixture.h"

namespace {

constexpr int32_t kGuard = 0x5A5A5A5A;
const std::u16string kAdapterA = u"PCI\\VEN_8086&DEV_46A6&SUBSYS_3BAA1025&REV_0C";
const std::u16string kAdapterB = u"PCI\\VEN_10DE&DEV_25A2&SUBSYS_8C7517AA&REV_A1";
const std::u16string kOtherAdapter = u"PCI\\VEN_1002&DEV_1638&SUBSYS_12341043&REV_C5";

class DisplayModes : public ConnectedService {
protected:
    void Answer(uint32_t command, uint32_t word) { Sim().Always(command, {.words = {{12, word}}}); }
    // The identifier read while the monitor and the schedule hold `value`.
    int32_t ReadAt(uint32_t value) {
        Sim().Once(2, {.words = {{20, value}}});
        Sim().Once(26, {.words = {{16, value}}});
        const int32_t mode = GetCurrentDisplayMode();
        EXPECT_EQ(GetShedulerMode(), mode) << value;
        return mode;
    }
    // The value sent to set the monitor and the schedule to `mode`.
    uint32_t SentFor(int32_t mode) {
        Sim().ClearLog();
        SetDisplayMode(mode);
        SetShedulerMode(mode);
        const std::vector<ServiceRecord> display = Sent(3), schedule = Sent(27);
        if (display.size() != 1 || schedule.size() != 1) return 0xBAD;
        EXPECT_TRUE(Same(display[0], Request(3, {{16, 0xDC}, {20, schedule[0].Word(16)}}))) << mode;
        EXPECT_TRUE(Same(schedule[0], Request(27, {{16, display[0].Word(20)}}))) << mode;
        return display[0].Word(20);
    }
};

// Scheme 2: identifier and value; 24 and 26 both stand for 12.
const std::pair<int32_t, uint32_t> kFixedScheme[] = {
    {20, 13},  {21, 0},   {22, 77},  {23, 10},  {24, 12}, {25, 11}, {26, 12}, {27, 256},
    {28, 257}, {29, 258}, {30, 259}, {31, 260}, {32, 78}, {33, 79}, {34, 80}, {35, 81},
};

TEST_F(DisplayModes, FixedSchemeBothWays) {
    Answer(31, 2);
    Answer(35, 5);  // 12 reads as 24 under any variant but 0
    for (const auto& [mode, value] : kFixedScheme) {
        EXPECT_EQ(SentFor(mode), value) << mode;
        EXPECT_EQ(ReadAt(value), value == 12 ? 24 : mode) << value;
    }
    for (const int32_t outside : {19, 36, 0, 15, -1}) EXPECT_EQ(SentFor(outside), 0xFFFFFFFFu) << outside;
    for (const uint32_t outside : {300u, 1u, 51u, 0xFFFFFFFFu}) EXPECT_EQ(ReadAt(outside), -1) << outside;
    // A failed read of the monitor is the value 0; of the schedule, -1.
    Sim().Once(2, {.setResult = true, .result = 0, .words = {{20, 77}}});
    Sim().Once(26, {.setResult = true, .result = 0, .words = {{16, 77}}});
    EXPECT_EQ(GetCurrentDisplayMode(), 21);
    EXPECT_EQ(GetShedulerMode(), -1);
    EXPECT_EQ(fake::Platform().Probes(), "");  // the table is never built under scheme 2
}

TEST_F(DisplayModes, TheFirstAnswersStayAndAFailedVariantCountsAsOne) {
    Sim().Once(31, {.setResult = true, .result = 0, .words = {{12, 2}}});
    Sim().Once(31, {.words = {{12, 0xFFFFFFFF}}});  // negative: no answer either
    Answer(31, 2);
    Sim().Once(35, {.setResult = true, .result = 0});
    Answer(35, 0);
    EXPECT_EQ(ReadAt(13), 0);  // two lookups without a scheme: the table
    EXPECT_EQ(ReadAt(12), 24);
    Answer(31, 1);
    EXPECT_EQ(ReadAt(12), 24);
    EXPECT_EQ(Sent(31).size(), 3u);
    EXPECT_EQ(Sent(35).size(), 1u);
}

// A lookup held inside its exchange while another thread's answer is stored.
struct LateCase {
    const char* name;
    uint32_t command;
    bool fails;
    int32_t slowReads;  // what the held lookup reads 12 as
};
void PrintTo(const LateCase& c, std::ostream* out) { *out << c.name; }

class LateAnswer : public DisplayModes, public ::testing::WithParamInterface<LateCase> {};

TEST_P(LateAnswer, NeverReplacesAStoredOne) {
    const LateCase& c = GetParam();
    Answer(31, 2);
    Answer(35, 0);
    if (c.command == 35) {
        EXPECT_EQ(lmvx::DisplayModeToServiceValue(20), 13);  // the scheme is stored first
    }
    fake::Hold late("late-answer");
    Sim().Once(c.command, {.setResult = c.fails, .result = 0, .words = {{12, 1}},
                           .edit = [](ServiceRecord&) { fake::Checkpoint("late-answer"); }});
    int32_t slow = 0;
    std::thread held([&] { slow = lmvx::ServiceValueToDisplayMode(12); });
    ASSERT_TRUE(late.WaitArrived());
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(12), 26);  // scheme 2, variant 0
    late.Release();
    held.join();
    EXPECT_EQ(slow, c.slowReads);
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(12), 26);
    EXPECT_EQ(Sent(c.command).size(), 2u);  // stored: not asked again
}

INSTANTIATE_TEST_SUITE_P(Lookups, LateAnswer,
                         ::testing::Values(LateCase{"Scheme", 31, false, 26}, LateCase{"FailedScheme", 31, true, 8},
                                           LateCase{"FailedVariant", 35, true, 26}),
                         [](const auto& info) { return info.param.name; });

struct TableCase {
    const char* name;
    std::vector<std::u16string> adapters;
    bool a, b;
};
void PrintTo(const TableCase& c, std::ostream* out) { *out << c.name; }

class ModeTable : public DisplayModes, public ::testing::WithParamInterface<TableCase> {};

TEST_P(ModeTable, TranslatesBothWays) {
    const TableCase& c = GetParam();
    fake::Platform().adapters = c.adapters;
    Answer(31, 0);
    std::map<uint32_t, int32_t> modeOf = {{5, 1}, {4, 2},  {7, 4},  {8, 5},   {9, 6},   {3, 7},
                                          {12, 8}, {14, 9}, {6, 10}, {15, 12}, {1, 13}, {51, 14}};
    modeOf[c.b ? 0 : 13] = 0;
    modeOf[c.b ? 13 : 0] = 11;
    modeOf[2] = c.a ? 15 : 3;
    for (const auto& [value, mode] : modeOf) {
        EXPECT_EQ(ReadAt(value), mode) << value;
        EXPECT_EQ(SentFor(mode), value) << mode;
    }
    for (const int32_t outside : {c.a ? 3 : 15, 16, 20, -1}) EXPECT_EQ(SentFor(outside), 0xFFFFFFFFu) << outside;
    for (const uint32_t outside : {10u, 11u, 300u}) EXPECT_EQ(ReadAt(outside), static_cast<int32_t>(outside));
    // Listing leaves out what is not supported and what reads as negative.
    int32_t modes[2] = {kGuard, kGuard};
    Sim().Once(4, {.words = {{20, 0}, {24, 1}, {28, 5}}});
    EXPECT_EQ(GetSupportedDisplayModes(modes, 2), 0u);
    Sim().Once(4, {.words = {{20, 1}, {24, 3}, {28, 0x80000000}, {32, 5}, {36, 0xFFFFFFFF}}});
    EXPECT_EQ(GetSupportedDisplayModes(modes, 2), 1u);
    EXPECT_EQ(modes[0], 1);
    EXPECT_EQ(modes[1], kGuard);
    EXPECT_EQ(fake::Platform().Probes(), "enum enum");  // one build: A and B decided once each
    EXPECT_EQ(Sent(31).size(), 0u);  // scheme 0 is an answer too, kept since the first lookup
}

INSTANTIATE_TEST_SUITE_P(Adapters, ModeTable,
                         ::testing::Values(TableCase{"None", {}, false, false},
                                           TableCase{"Other", {kOtherAdapter}, false, false},
                                           TableCase{"A", {kAdapterA}, true, false},
                                           TableCase{"BOnASecondDevice", {kOtherAdapter, kAdapterB}, false, true},
                                           TableCase{"AAndB", {kAdapterB, kAdapterA}, true, true}),
                         [](const auto& info) { return info.param.name; });

// Whether thread `tid` of this process is asleep in the kernel.
bool Asleep(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(") ");
    return tid != 0 && end != std::string::npos && line.at(end + 2) == 'S';
}

TEST_F(DisplayModes, ATranslationDuringTheFirstBuildWaitsForTheWholeTable) {
    fake::Platform().adapters = {kAdapterA, kAdapterB};
    fake::Hold enumeration("adapter-enumeration");
    int32_t first = 0, second = 0;
    std::thread builder([&] { first = lmvx::ServiceValueToDisplayMode(2); });
    ASSERT_TRUE(enumeration.WaitArrived());  // the build has begun
    std::atomic<pid_t> tid{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        tid = gettid();
        second = lmvx::ServiceValueToDisplayMode(13);
        done = true;
    });
    // The reader blocks (for the build, or at the hold for a build of its
    // own) or reads what is there.
    while (!done && !Asleep(tid)) std::this_thread::yield();
    enumeration.Release();
    builder.join();
    reader.join();
    EXPECT_EQ(first, 15);
    EXPECT_EQ(second, 11);
    EXPECT_EQ(fake::Platform().Probes(), "enum enum");
}

}  // namespace

// Display modes, read and set. The mode caches and the display-mode table
// are filled once per process and never emptied (a value once stored stands
// for the life of the library), so each test needs a process of its own:
// ctest runs every test alone; by hand, run one at a time (--gtest_filter).
#include <unistd.h>

#include <fstream>
#include <map>
#include <thread>

#include "controls/controls.h"
#include "fakes/hooks.h"
#include "sim_fixture.h"

namespace {

const std::u16string kAdapterA = u"PCI\\VEN_8086&DEV_46A6&SUBSYS_3BAA1025&REV_0C";
const std::u16string kAdapterB = u"PCI\\VEN_10DE&DEV_25A2&SUBSYS_8C7517AA&REV_A1";

class DisplayModes : public ConnectedService {
protected:
    void Answer(uint32_t command, uint32_t word) { Sim().Always(command, {.words = {{12, word}}}); }
    // The mode read while the monitor holds `value`.
    int32_t ReadAt(uint32_t value) {
        Sim().Once(2, {.words = {{20, value}}});
        return GetCurrentDisplayMode();
    }
    // The value sent to set the monitor to `mode`.
    uint32_t SentFor(int32_t mode) {
        Sim().ClearLog();
        SetDisplayMode(mode);
        const std::vector<ServiceRecord> sent = Sent(3);
        const uint32_t value = sent.empty() ? 0xBAD : sent[0].Word(20);
        EXPECT_TRUE(sent.size() == 1 && Same(sent[0], Request(3, {{16, 0xDC}, {20, value}}))) << mode;
        return value;
    }
};

// The scheme the service answers, and the adapters present.
struct Scheme { const char* name; uint32_t scheme; std::vector<std::u16string> adapters; };
class Translation : public DisplayModes, public ::testing::WithParamInterface<Scheme> {};

TEST_P(Translation, GoesBothWaysAndLeavesOutWhatItDoesNotKnow) {
    const bool fixed = GetParam().scheme == 2, a = GetParam().name == std::string("A");
    fake::Platform().adapters = GetParam().adapters;
    Answer(31, GetParam().scheme);
    Answer(35, 5);  // under scheme 2, 12 reads as 24 under any variant but 0
    // Mode and value. Under scheme 2, 24 and 26 both stand for 12; else the
    // table, in which adapter A moves 2 and B swaps 0 and 13.
    std::map<int32_t, uint32_t> valueOf = {{1, 5},   {2, 4},  {4, 7},  {5, 8},   {6, 9},          {7, 3},
                                           {8, 12},  {9, 14}, {10, 6}, {12, 15}, {13, 1},         {14, 51},
                                           {0, a ? 13 : 0}, {11, a ? 0 : 13}, {a ? 15 : 3, 2}};
    if (fixed)
        valueOf = {{20, 13},  {21, 0},   {22, 77},  {23, 10},  {24, 12}, {25, 11}, {26, 12}, {27, 256},
                   {28, 257}, {29, 258}, {30, 259}, {31, 260}, {32, 78}, {33, 79}, {34, 80}, {35, 81}};
    for (const auto& [mode, value] : valueOf) {
        EXPECT_EQ(SentFor(mode), value) << mode;
        EXPECT_EQ(ReadAt(value), fixed && value == 12 ? 24 : mode) << value;
    }
    for (const int32_t mode : {-1, 16, 19, 36, fixed ? 0 : a ? 3 : 15}) EXPECT_EQ(SentFor(mode), 0xFFFFFFFFu) << mode;
    for (const uint32_t value : {300u, 0x80000000u}) EXPECT_EQ(ReadAt(value), fixed ? -1 : static_cast<int32_t>(value));
    EXPECT_EQ(fake::Platform().Probes(), fixed ? "" : "aa");  // one build: A and B decided once each
    EXPECT_EQ(Sent(31).size(), 0u);  // the first lookup's scheme is kept, 0 as well
}

INSTANTIATE_TEST_SUITE_P(Schemes, Translation,
                         ::testing::Values(Scheme{"Fixed", 2, {}}, Scheme{"A", 0, {kAdapterA}},
                                           Scheme{"BOnASecondDevice", 0, {u"PCI\\VEN_1002", kAdapterB}}),
                         [](const auto& info) { return info.param.name; });

// The scheme and the variant are asked for until answered, and the first
// answer stored stands: a failed variant counts as one, and the late answer
// of a lookup held inside its exchange while another thread's is stored is
// dropped.
TEST_F(DisplayModes, TheFirstAnswersStand) {
    Sim().Once(31, {.setResult = true, .result = 0, .words = {{12, 2}}});
    Sim().Once(31, {.words = {{12, 0xFFFFFFFF}}});  // negative: no answer either
    EXPECT_EQ(ReadAt(13), 0);                       // two lookups without a scheme: the table
    EXPECT_EQ(ReadAt(13), 0);
    fake::Hold late("late-answer");
    Sim().Once(31, {.words = {{12, 1}}, .edit = [](ServiceRecord&) { fake::Checkpoint("late-answer"); }});
    Answer(31, 2);
    Sim().Once(35, {.setResult = true, .result = 0});
    Answer(35, 0);
    int32_t slow = 0;
    std::thread held([&] { slow = lmvx::ServiceValueToDisplayMode(12); });
    ASSERT_TRUE(late.WaitArrived());
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(12), 24);  // scheme 2, variant 1
    late.Release();
    held.join();
    EXPECT_EQ(slow, 24);
    Answer(31, 1);
    EXPECT_EQ(ReadAt(12), 24);
    EXPECT_EQ(Sent(31).size(), 4u);
    EXPECT_EQ(Sent(35).size(), 1u);
    Sim().Once(26, {.setResult = true, .result = 0});
    EXPECT_EQ(GetShedulerMode(), -1);  // a failed read of the schedule
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
    // The reader blocks, for the build or at the hold for a build of its own,
    // or reads what is there: wait until it is done or asleep in the kernel.
    const auto asleep = [&] {
        std::string stat;
        std::getline(std::ifstream("/proc/self/task/" + std::to_string(tid) + "/stat"), stat);
        return tid != 0 && stat.find(") S") != std::string::npos;
    };
    while (!done && !asleep()) std::this_thread::yield();
    enumeration.Release();
    builder.join();
    reader.join();
    EXPECT_EQ(first, 15);
    EXPECT_EQ(second, 11);
    EXPECT_EQ(fake::Platform().Probes(), "aa");
}

}  // namespace

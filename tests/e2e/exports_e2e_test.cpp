// The built library against the simulator over the real pipe: each family of
// exports once, and a host's whole session. Under Wine every test shares one
// process, so each starts from Stopped with no handler and no muted event; on
// POSIX each has its own runtime folder, so that tests run in parallel.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "lmvx.h"
#include "simulator.h"

namespace {

using LvxString = std::basic_string<LvxChar>;
template <size_t N>
LvxString W(const char (&ascii)[N]) { return LvxString(ascii, ascii + N - 1); }

// The codes the handler saw, 12 bits each, and how many.
std::atomic<uint64_t> seen{0};
std::atomic<int> count{0};
void OnEvent(LvxDataType type) { seen = seen << 12 | type, ++count; }

// The codes once there are n; the bound is reached only by a hang.
uint64_t SeenOnceThereAre(int n) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (count < n && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    return seen;
}

std::string PrivateRuntimeDir() {
    std::string dir = "/tmp/lmvx-e2e-XXXXXX";
#if !defined(_WIN32)
    if (mkdtemp(dir.data()) != nullptr) setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
#endif
    return dir;
}

class RealPipe : public ::testing::Test {
protected:
    void SetUp() override {
        Stop(false);
        SetEventHandler(nullptr);
        EnableEvent(LVX_EVENT_ALL);
        seen = 0, count = 0;
        ASSERT_TRUE(sim_.Start());
    }
    void TearDown() override {
        Stop(false);
        // The ending notification thread removes its own endpoint: wait for that, then for the folder.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::error_code error;
        while (std::filesystem::remove_all(dir_, error) == static_cast<std::uintmax_t>(-1) &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(std::filesystem::exists(dir_));
    }
    const std::string dir_ = PrivateRuntimeDir();  // before the simulator names its pipe
    sim::Simulator sim_;
};

struct FamilyCase {
    const char* name;
    std::vector<std::string> setup;  // a simulator control command, as words
    uint64_t (*call)();
    uint64_t expected;
};

const FamilyCase kFamilies[] = {
    {"ServiceReady", {}, [] { return uint64_t{CheckService()}; }, 1},
    {"FeatureWord", {"features", "0x80000001"}, [] { return uint64_t{GetFeatures()}; }, 0x80000001},
    {"PictureControl", {}, [] { SetContrast(70); return uint64_t{GetContrast()}; }, 70},
    {"ListCutToTheRoomGiven", {}, [] {  // the count, then the three entries
         uint32_t in[3] = {0, 0, 7};
         return uint64_t{GetSupportedInputSources(in, 2)} << 32 | in[0] << 16 | in[1] << 8 | in[2];
     }, 0x4'000F'1007},
    {"DisplayMode", {}, [] { SetDisplayMode(3); return uint64_t(GetCurrentDisplayMode()); }, 3},
    {"AutoColorTable", {}, [] {
         AddAutoColorApp(W("Player").c_str(), W("C:\\player.exe").c_str());
         SetAutoColorAppMode(W("Player").c_str(), W("Movie").c_str());
         AutoColorTable t;
         return uint64_t(GetAutoColorTable(&t) == 1 && t.appNames[0] == W("Player") && t.modeNames[0] == W("Movie"));
     }, 1},
    {"DesktopPartition", {"screens", "3"}, [] { SetDesktopPartition(2, 4); return uint64_t{GetDesktopPartition(2)}; }, 4},
    {"ScheduleTimes", {}, [] {
         SetScheduleTime(1320, 420, 30, 4000000000u);
         uint32_t t[4] = {};
         return uint64_t(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]) && t[0] == 1320 && t[1] == 420 && t[2] == 30 &&
                         t[3] == 4000000000u);
     }, 1},
    {"SchedulerMode", {}, [] { SetShedulerMode(1); return uint64_t(GetShedulerMode()); }, 1},
    {"PowerSavings", {}, [] { SetPowerSavings(true); return uint64_t{GetPowerSavings()}; }, 1},
    {"Hdr", {"hdr", "1"}, [] { return uint64_t{GetHDRStatus()}; }, 1},
};

TEST_F(RealPipe, EachFamilyAnswers) {
    for (const FamilyCase& c : kFamilies) {
        Stop(false);
        ASSERT_EQ(c.setup.empty() ? "ok" : sim_.Control(c.setup), "ok");
        ASSERT_TRUE(Start());
        EXPECT_EQ(c.call(), c.expected) << c.name;
    }
}

TEST_F(RealPipe, HostSession) {
    SetEventHandler(OnEvent);
    ASSERT_TRUE(Start());
    const uint64_t first = sim_.RegisteredWindow();
    EXPECT_EQ(sim_.Commands(), (std::vector<uint32_t>{36, 1, 32, 38, 37, 40, 39, 41}));

    // A muted code is dropped; the next one arrives.
    DisableEvent(LVX_EVENT_CONTRAST);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_CONTRAST, 70));
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_BRIGHTNESS, 20));
    EXPECT_EQ(SeenOnceThereAre(1), 0x010u);

    // A status notification refreshes the state before the handler sees it.
    sim_.SetStatus(0);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_SERVICE_STATUS_CHANGED, 0));
    EXPECT_EQ(SeenOnceThereAre(2), 0x010'102u);
    sim_.ClearLog();
    UpdateData(16);  // gated: the state is Disconnected now
    EXPECT_EQ(sim_.RequestCount(), 0u);
    sim_.SetStatus(1);

    Stop(true);
    Stop(true);  // nothing more
    EXPECT_EQ(sim_.SessionEnds(), 1u);

    ASSERT_TRUE(Start());
    EXPECT_NE(sim_.RegisteredWindow(), first);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_INPUT_SOURCE, 3));
    EXPECT_EQ(SeenOnceThereAre(3), 0x010'102'060u);
}

}  // namespace

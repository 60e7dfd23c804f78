// The built library against the simulator over the real pipe: each family of
// exports once, and a host's whole session. Under Wine every test shares one
// process, so each starts from Stopped with no handler and no muted event.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lmvx.h"
#include "simulator.h"

namespace {

using LvxString = std::basic_string<LvxChar>;
LvxString W(const char* ascii) { return LvxString(ascii, ascii + std::strlen(ascii)); }

class RealPipe : public ::testing::Test {
protected:
    void SetUp() override {
        Stop(false);
        SetEventHandler(nullptr);
        EnableEvent(LVX_EVENT_ALL);
        ASSERT_TRUE(sim_.Start());
    }
    void TearDown() override {
        Stop(false);
        SetEventHandler(nullptr);
        sim_.Stop();
    }
    sim::Simulator sim_;
};

struct FamilyCase {
    const char* name;
    std::vector<std::string> setup;  // simulator control commands, as words
    bool session;                    // Start() before the call
    std::function<uint64_t()> call;
    uint64_t expected;
    bool sendsNothing;
};

const FamilyCase kFamilies[] = {
    {"ServiceReady", {"readiness", "2"}, false, [] { return uint64_t{CheckService()}; }, 1, false},
    {"StatusWhileStopped", {}, false, [] { return uint64_t(GetLVXStatus()); }, LVX_STATE_STOPPED, true},
    {"FeatureWordNeedsNoSession", {"features", "0x80000001"}, false, [] { return uint64_t{GetFeatures()}; },
     0x80000001, false},
    {"ControlsGatedWithoutSession", {}, false, [] { return uint64_t{GetContrast()}; }, 0xFFFFFFFF, true},
    {"FeaturesGatedWithoutSession", {}, false, [] { return uint64_t{GetDesktopPartition(0)}; }, 0xFFFFFFFF, true},
    {"PictureControl", {}, true, [] { SetContrast(70); return uint64_t{GetContrast()}; }, 70, false},
    {"ListCutToTheRoomGiven", {}, true, [] {
         uint32_t inputs[3] = {0, 0, 7};
         return GetSupportedInputSources(inputs, 2) == 4 && inputs[0] == 0x0F && inputs[1] == 0x10 && inputs[2] == 7;
     }, 1, false},
    {"DisplayMode", {}, true, [] { SetDisplayMode(3); return uint64_t(GetCurrentDisplayMode()); }, 3, false},
    {"AutoColorTable", {}, true, [] {
         AddAutoColorApp(W("Player").c_str(), W("C:\\player.exe").c_str());
         SetAutoColorAppMode(W("Player").c_str(), W("Movie").c_str());
         AutoColorTable table;
         return GetAutoColorTable(&table) == 1 && LvxString(table.appNames[0]) == W("Player") &&
                LvxString(table.modeNames[0]) == W("Movie");
     }, 1, false},
    {"DesktopPartition", {"screens", "3"}, true, [] { SetDesktopPartition(2, 4); return uint64_t{GetDesktopPartition(2)}; },
     4, false},
    {"ScheduleTimes", {}, true, [] {
         SetScheduleTime(1320, 420, 30, 4000000000u);
         uint32_t t[4] = {};
         return GetScheduleTime(&t[0], &t[1], &t[2], &t[3]) && t[0] == 1320 && t[1] == 420 && t[2] == 30 &&
                t[3] == 4000000000u;
     }, 1, false},
    {"SchedulerMode", {}, true, [] { SetShedulerMode(1); return uint64_t(GetShedulerMode()); }, 1, false},
    {"PowerSavings", {}, true, [] { SetPowerSavings(true); return uint64_t{GetPowerSavings()}; }, 1, false},
    {"Hdr", {"hdr", "1"}, true, [] { return uint64_t{GetHDRStatus()}; }, 1, false},
};

void PrintTo(const FamilyCase& c, std::ostream* os) { *os << c.name; }

class Families : public RealPipe, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(Families, AnswerOverThePipe) {
    const FamilyCase& c = GetParam();
    ASSERT_EQ(c.setup.empty() ? "ok" : sim_.Control(c.setup), "ok");
    ASSERT_TRUE(!c.session || Start());
    sim_.ClearLog();
    EXPECT_EQ(c.call(), c.expected);
    EXPECT_EQ(c.sendsNothing ? sim_.RequestCount() : 0u, 0u);
}

INSTANTIATE_TEST_SUITE_P(Exports, Families, ::testing::ValuesIn(kFamilies),
                         [](const auto& info) { return std::string(info.param.name); });

// What the handler saw, and on which thread.
std::mutex eventsMutex;
std::condition_variable eventsChanged;
std::vector<LvxDataType> events;
std::thread::id handlerThread;

void OnEvent(LvxDataType type) {
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.push_back(type);
    handlerThread = std::this_thread::get_id();
    eventsChanged.notify_all();
}

// Waits for the n-th event; the bound is reached only by a hang.
std::vector<LvxDataType> EventsOnceThereAre(size_t n) {
    std::unique_lock<std::mutex> lock(eventsMutex);
    eventsChanged.wait_for(lock, std::chrono::seconds(30), [n] { return events.size() >= n; });
    return events;
}

TEST_F(RealPipe, HostSession) {
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        events.clear();
    }
    SetEventHandler(OnEvent);
    ASSERT_TRUE(Start());
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
    const uint64_t first = sim_.RegisteredWindow();
    ASSERT_NE(first, 0u);
    EXPECT_EQ(sim_.Commands(), (std::vector<uint32_t>{36, 1, 32, 38, 37, 40, 39, 41, 1}));

    // A muted code is dropped; the next one arrives, on the library's thread.
    DisableEvent(LVX_EVENT_CONTRAST);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_CONTRAST, 70));
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_BRIGHTNESS, 20));
    EXPECT_EQ(EventsOnceThereAre(1), std::vector<LvxDataType>{LVX_EVENT_BRIGHTNESS});
    EXPECT_NE(handlerThread, std::this_thread::get_id());
    EnableEvent(LVX_EVENT_CONTRAST);

    // A status notification refreshes the state before the handler sees it.
    sim_.SetStatus(0);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_SERVICE_STATUS_CHANGED, 0));
    EXPECT_EQ(EventsOnceThereAre(2).back(), LVX_EVENT_SERVICE_STATUS_CHANGED);
    sim_.ClearLog();
    UpdateData(16);  // gated: the state is Disconnected now
    EXPECT_EQ(sim_.RequestCount(), 0u);
    sim_.SetStatus(1);

    Stop(true);
    Stop(true);  // nothing more
    EXPECT_EQ(sim_.SessionEnds(), 1u);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);

    ASSERT_TRUE(Start());
    EXPECT_NE(sim_.RegisteredWindow(), first);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_INPUT_SOURCE, 3));
    EXPECT_EQ(EventsOnceThereAre(3).back(), LVX_EVENT_INPUT_SOURCE);
}

}  // namespace

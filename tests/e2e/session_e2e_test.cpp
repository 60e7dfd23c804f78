// A whole host session against the simulator: Start, notifications posted
// to the library's window reaching the handler, Stop, and Start again.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "lmvx.h"
#include "simulator.h"

namespace {

std::mutex eventsMutex;
std::vector<LvxDataType> events;
std::atomic<std::thread::id> handlerThread{};

void OnEvent(LvxDataType type) {
    handlerThread = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.push_back(type);
}

std::vector<LvxDataType> Events() {
    std::lock_guard<std::mutex> lock(eventsMutex);
    return events;
}

template <typename Predicate>
bool Eventually(Predicate done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

class HostSession : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(eventsMutex);
            events.clear();
        }
        ASSERT_TRUE(sim_.Start());
        SetEventHandler(OnEvent);
    }
    void TearDown() override {
        Stop(false);
        SetEventHandler(nullptr);
        // The notification thread ends on its own; give it a moment so the
        // next test's session is a fresh one.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sim_.Stop();
    }
    sim::Simulator sim_;
};

TEST_F(HostSession, StartRegistersAndNotificationsReachTheHandler) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
    ASSERT_NE(sim_.RegisteredWindow(), 0u);
    EXPECT_EQ(sim_.PollingInterval(1), 5000u);
    EXPECT_EQ(sim_.PollingInterval(3), 15000u);
    EXPECT_EQ(sim_.PollingInterval(5), 30000u);
    const std::vector<uint32_t> expected = {36, 1, 32, 38, 37, 40, 39, 41, 1};
    EXPECT_EQ(sim_.Commands(), expected);

    ASSERT_TRUE(sim_.Notify(LVX_EVENT_CONTRAST, 70));
    ASSERT_TRUE(Eventually([] { return Events().size() == 1; }));
    EXPECT_EQ(Events()[0], LVX_EVENT_CONTRAST);
    EXPECT_NE(handlerThread.load(), std::this_thread::get_id());

    DisableEvent(LVX_EVENT_CONTRAST);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_CONTRAST, 71));
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_BRIGHTNESS, 20));
    ASSERT_TRUE(Eventually([] { return Events().size() == 2; }));
    EXPECT_EQ(Events()[1], LVX_EVENT_BRIGHTNESS);
    EnableEvent(LVX_EVENT_CONTRAST);
}

TEST_F(HostSession, StatusNotificationRefreshesTheState) {
    ASSERT_TRUE(Start());
    sim_.SetStatus(0);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_SERVICE_STATUS_CHANGED, 0));
    ASSERT_TRUE(Eventually([] { return !Events().empty(); }));
    EXPECT_EQ(Events()[0], LVX_EVENT_SERVICE_STATUS_CHANGED);
    EXPECT_EQ(sim_.Commands().back(), 1u);  // the refresh came before the event
    UpdateData(16);                         // gated: the state is now Disconnected
    EXPECT_EQ(sim_.Commands().back(), 1u);
    sim_.SetStatus(1);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
}

TEST_F(HostSession, StopAndStartAgain) {
    ASSERT_TRUE(Start());
    const uint64_t first = sim_.RegisteredWindow();
    Stop(true);
    EXPECT_EQ(sim_.SessionEnds(), 1u);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);
    Stop(true);  // nothing more
    EXPECT_EQ(sim_.SessionEnds(), 1u);

    ASSERT_TRUE(Start());
    const uint64_t second = sim_.RegisteredWindow();
    EXPECT_NE(first, second);
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_INPUT_SOURCE, 3));
    ASSERT_TRUE(Eventually([] { return Events().size() == 1; }));
    EXPECT_EQ(Events()[0], LVX_EVENT_INPUT_SOURCE);
}

}  // namespace

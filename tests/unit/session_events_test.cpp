#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "exports/api.h"
#include "session/connection.h"
#include "session/events.h"
#include "sim_fixture.h"

namespace {

using lmvx::DispatchNotification;

std::mutex deliveredMutex;
std::vector<LvxDataType> delivered;

void Record(LvxDataType type) {
    std::lock_guard<std::mutex> lock(deliveredMutex);
    delivered.push_back(type);
}

std::vector<LvxDataType> Delivered() {
    std::lock_guard<std::mutex> lock(deliveredMutex);
    return delivered;
}

void SubscribeAsAtLoad() {
    EnableEvent(LVX_EVENT_ALL);
    DisableEvent(LVX_EVENT_SERVICE_105);
}

class Events : public SimulatedService {
protected:
    void SetUp() override {
        SimulatedService::SetUp();
        delivered.clear();
        SetEventHandler(Record);
    }
};

using Types = std::vector<LvxDataType>;
using Notification = std::pair<uint64_t, uint64_t>;  // code, value

// Subscription switches ('+' EnableEvent, '-' DisableEvent), then
// notifications, then what reaches the handler.
struct Case {
    std::vector<std::pair<char, int32_t>> switches;
    std::vector<Notification> notifications;
    Types expected;
};
constexpr int32_t kAll = LVX_EVENT_ALL, k105 = LVX_EVENT_SERVICE_105;
const Case kCases[] = {
    {{}, {{0x10, 0}, {0x12, 0}, {0x14, 0}, {0x16, 0}, {0x18, 0}, {0x1A, 0}, {0x60, 0}, {0xDC, 0}, {0x100, 0},
          {0x101, 0}, {0x11, 0}, {0, 0}, {0x105, 0}, {0xFFFF, 0}, {0x1'0000'0010ull, 0}},
     {0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x60, 0xDC, 0x100, 0x101}},
    {{}, {{0x103, 1}, {0x103, 0}, {0x103, 2}, {0x103, 0x1'0000'0001ull}}, {0x103, 0x104, 0x104, 0x104}},
    {{{'-', 0x10}}, {{0x10, 0}, {0x12, 0}}, {0x12}},
    {{{'-', 0x10}, {'+', 0x10}, {'-', -7}, {'+', -7}}, {{0x10, 0}}, {0x10}},  // any number can be switched
    {{{'-', kAll}}, {{0x10, 0}, {0x12, 0}, {0x103, 0}, {0x104, 0}}, {}},
    {{{'-', kAll}, {'-', 0x12}}, {{0x10, 0}, {0x12, 0}}, {0x10}},  // a per-type call lifts the mute
    {{{'-', kAll}, {'+', 0x10}}, {{0x10, 0}, {0x12, 0}, {0x104, 0}}, {0x10, 0x12}},
    {{{'-', kAll}, {'+', kAll}}, {{0x12, 0}}, {0x12}},
    {{}, {{0x104, 0}}, {}},  // 0x105 is off at load
    {{{'+', k105}, {'-', 0x104}, {'-', k105}}, {{0x104, 0}}, {}},
    {{{'+', k105}, {'-', 0x104}}, {{0x104, 0}}, {0x105}},  // the disabled set does not touch it
    {{{'+', k105}, {'-', kAll}, {'+', 0x10}}, {{0x104, 0}}, {}},  // the full mute switched it off
};

TEST_F(Events, SubscriptionsFilterTheMappedTypes) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::PrintToString(c.switches));
        SubscribeAsAtLoad();
        for (const auto& [on, type] : c.switches) on == '+' ? EnableEvent(type) : DisableEvent(type);
        delivered.clear();
        for (const Notification& n : c.notifications) DispatchNotification(n.first, n.second);
        EXPECT_EQ(Delivered(), c.expected);
    }
}

TEST_F(Events, StatusChangeRefreshesEvenWithoutHandler) {
    SetEventHandler(nullptr);
    lmvx::ConnectionState = lmvx::kDisconnected;
    DispatchNotification(0x102, 0);
    EXPECT_EQ(lmvx::ConnectionState.load(), lmvx::kConnected);
    EXPECT_EQ(Sim().Commands(), std::vector<uint32_t>{1});
    // While stopped the refresh sends nothing, and the event still arrives.
    SetEventHandler(Record);
    lmvx::ConnectionState = lmvx::kStopped;
    delivered.clear();
    DispatchNotification(0x102, 0);
    EXPECT_EQ(Delivered(), Types{0x102});
    EXPECT_EQ(Sim().RequestCount(), 1u);
}

}  // namespace

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

class Events : public SimulatedService {
protected:
    void SetUp() override {
        SimulatedService::SetUp();
        delivered.clear();
        SetEventHandler(Record);
    }
    void TearDown() override {
        SetEventHandler(nullptr);
        SimulatedService::TearDown();
    }
    // Dispatches each code (value 0) and returns what reached the handler.
    std::vector<LvxDataType> Deliver(std::initializer_list<uint64_t> codes) {
        delivered.clear();
        for (uint64_t code : codes) DispatchNotification(code, 0);
        return Delivered();
    }
};

using Types = std::vector<LvxDataType>;

TEST_F(Events, KnownCodesPassThroughAndOthersAreIgnored) {
    EXPECT_EQ(Deliver({0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x60, 0xDC, 0x100, 0x101}),
              (Types{0x10, 0x12, 0x14, 0x16, 0x18, 0x1A, 0x60, 0xDC, 0x100, 0x101}));
    EXPECT_EQ(Deliver({0x11, 0x0, 0x105, 0xFFFF, 0x1'0000'0010ull}), Types{});
}

TEST_F(Events, Code103IsSplitByItsValue) {
    delivered.clear();
    DispatchNotification(0x103, 1);
    DispatchNotification(0x103, 0);
    DispatchNotification(0x103, 2);
    DispatchNotification(0x103, 0x1'0000'0001ull);
    EXPECT_EQ(Delivered(), (Types{0x103, 0x104, 0x104, 0x104}));
}

TEST_F(Events, DisablingOneTypeDropsOnlyThatType) {
    DisableEvent(LVX_EVENT_BRIGHTNESS);
    EXPECT_EQ(Deliver({0x10, 0x12}), Types{0x12});
    EnableEvent(LVX_EVENT_BRIGHTNESS);
    EXPECT_EQ(Deliver({0x10, 0x12}), (Types{0x10, 0x12}));
    // Values are not validated: any number can be switched off and on.
    DisableEvent(-7);
    EnableEvent(-7);
    EXPECT_EQ(Deliver({0x10}), Types{0x10});
}

TEST_F(Events, MutingAllIsLiftedByAnyPerTypeCall) {
    DisableEvent(LVX_EVENT_ALL);
    EXPECT_EQ(Deliver({0x10, 0x12, 0x103, 0x104}), Types{});
    DisableEvent(LVX_EVENT_CONTRAST);  // lifts the mute, leaves Contrast off
    EXPECT_EQ(Deliver({0x10, 0x12}), Types{0x10});
    DisableEvent(LVX_EVENT_ALL);
    EnableEvent(LVX_EVENT_BRIGHTNESS);  // everything but 0x105 flows again
    EXPECT_EQ(Deliver({0x10, 0x12, 0x104}), (Types{0x10, 0x12}));
    DisableEvent(LVX_EVENT_ALL);
    EnableEvent(LVX_EVENT_ALL);
    EXPECT_EQ(Deliver({0x12}), Types{0x12});
}

TEST_F(Events, Event105FollowsItsOwnSwitch) {
    EXPECT_EQ(Deliver({0x104}), Types{});
    EnableEvent(LVX_EVENT_SERVICE_105);
    DisableEvent(LVX_EVENT_SERVICE_105 - 1);  // the disabled set does not affect it
    DisableEvent(LVX_EVENT_SERVICE_105);       // ...but its own switch does
    EXPECT_EQ(Deliver({0x104}), Types{});
    EnableEvent(LVX_EVENT_SERVICE_105);
    EXPECT_EQ(Deliver({0x104}), Types{0x105});
    DisableEvent(LVX_EVENT_ALL);
    EnableEvent(LVX_EVENT_BRIGHTNESS);
    EXPECT_EQ(Deliver({0x104}), Types{});  // the full mute switched it off for good
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
    EXPECT_EQ(Deliver({0x102}), Types{0x102});
    EXPECT_EQ(Sim().RequestCount(), 1u);
}

LvxDataType replacedWith = 0;
void SecondHandler(LvxDataType type) { replacedWith = type; }
void SelfChangingHandler(LvxDataType type) {
    Record(type);
    DisableEvent(type);  // lock is not held during the call
    EnableEvent(LVX_EVENT_ALL);
    DisableEvent(LVX_EVENT_CONTRAST);
    SetEventHandler(SecondHandler);  // must not wait for itself
}

TEST_F(Events, TheHandlerMayChangeSubscriptionsAndItself) {
    SetEventHandler(SelfChangingHandler);
    delivered.clear();
    DispatchNotification(0x10, 0);
    DispatchNotification(0x12, 0);
    DispatchNotification(0x14, 0);
    EXPECT_EQ(Delivered(), Types{0x10});
    EXPECT_EQ(replacedWith, 0x14);
}

TEST_F(Events, UpdateDataIsGatedAndBounded) {
    UpdateData(16);  // stopped: nothing
    lmvx::ConnectionState = lmvx::kConnected;
    UpdateData(256);
    UpdateData(16);
    UpdateData(-3);  // negative numbers pass the bound
    const auto requests = Sim().Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].command, 34u);
    EXPECT_EQ(requests[0].Word(12), 0u);
    EXPECT_EQ(requests[0].Word(16), 16u);
    EXPECT_EQ(requests[1].Word(16), 0xFFFFFFFDu);
}

}  // namespace

// Notifications through the library's window on the real backend: a burst
// behind a handler held in its first call, Stop from inside the handler, the
// merge of a waiting run, and the quit and end-session messages.
#include <vector>

#include "os/os.h"
#include "stress_fixture.h"

namespace stress {
namespace {

// The handler is a plain function: what it works with is file-wide.
Signal* release = nullptr;                 // the first call waits for it
const Library* stopInside = nullptr;       // when set, the first call then calls Stop
Signal* stopReturned = nullptr;
std::mutex seenLock;
std::condition_variable seenChanged;
std::vector<LvxDataType> seen;

void Record(LvxDataType type) {
    bool first = false;
    {
        std::lock_guard<std::mutex> hold(seenLock);
        first = seen.empty();
        seen.push_back(type);
    }
    seenChanged.notify_all();
    if (!first) return;
    release->Wait();
    if (stopInside == nullptr) return;
    stopInside->Stop(false);
    stopReturned->Raise();
}

LvxDataType Alternating(size_t i) { return i % 2 == 0 ? LVX_EVENT_BRIGHTNESS : LVX_EVENT_CONTRAST; }

class Notifications : public LoadedLibrary {
protected:
    void SetUp() override {
        LoadedLibrary::SetUp();
        seen.clear();
        release = &release_;
        stopInside = nullptr;
        stopReturned = &stopReturned_;
        Lib().SetEventHandler(Record);
        ASSERT_TRUE(Lib().Start());
    }
    void TearDown() override {
        release_.Raise();
        LoadedLibrary::TearDown();
    }
    // What the handler has seen once it has seen `count` notifications.
    static std::vector<LvxDataType> Seen(size_t count) {
        std::unique_lock<std::mutex> hold(seenLock);
        seenChanged.wait_for(hold, std::chrono::seconds(30), [count] { return seen.size() >= count; });
        return seen;
    }
    Signal release_, stopReturned_;
};

TEST_F(Notifications, ABurstBehindASlowHandlerArrivesWholeAndInOrderUpToTheQueuesRoom) {
    size_t posted = 0;
    for (; posted < 10000; ++posted) ASSERT_TRUE(Sim().Notify(Alternating(posted), posted)) << posted;
    // Past the room of the window's queue a post fails rather than wait for
    // the handler.
    while (posted < 10100 && Sim().Notify(Alternating(posted), posted)) ++posted;
    EXPECT_LT(posted, 10100u);
    release_.Raise();
    std::vector<LvxDataType> expected(posted);
    for (size_t i = 0; i < posted; ++i) expected[i] = Alternating(i);
    EXPECT_TRUE(Seen(posted) == expected) << Seen(posted).size() << " seen of " << posted;
    Lib().Stop(false);
    ASSERT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    EXPECT_EQ(Seen(0).size(), posted) << "delivered more than once";
    Report("calls", posted);
}

TEST_F(Notifications, StopFromInsideTheHandlerReturnsWithAThousandWaiting) {
    stopInside = &Lib();
    for (size_t i = 0; i <= 1000; ++i) ASSERT_TRUE(Sim().Notify(Alternating(i), i)) << i;
    release_.Raise();
    ASSERT_TRUE(stopReturned_.Wait()) << "Stop called by the handler did not return";
    EXPECT_EQ(Lib().GetLVXStatus(), LVX_STATE_STOPPED);
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
}

TEST_F(Notifications, AWaitingRunIsMergedAndTheWindowEndsOnQuitOrEndSession) {
    const uint64_t window = Sim().RegisteredWindow();
    ASSERT_TRUE(Sim().Notify(LVX_EVENT_BRIGHTNESS, 0));  // held in the handler
    for (int i = 1; i <= 100; ++i) ASSERT_TRUE(Sim().Notify(LVX_EVENT_CONTRAST, i));
    ASSERT_TRUE(os::PostWindowMessage(window, os::kMessageCommand, 0x402, 0));  // not the quit command
    ASSERT_TRUE(Sim().Notify(LVX_EVENT_BRIGHTNESS, 101));
    release_.Raise();
    EXPECT_EQ(Seen(3), (std::vector<LvxDataType>{LVX_EVENT_BRIGHTNESS, LVX_EVENT_CONTRAST, LVX_EVENT_BRIGHTNESS}));

    ASSERT_TRUE(os::PostWindowMessage(window, os::kMessageCommand, 0x401, 0));
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));

    Lib().Stop(false);
    ASSERT_TRUE(Lib().Start());
    ASSERT_TRUE(os::PostWindowMessage(Sim().RegisteredWindow(), os::kMessageEndSession, 1, 0));
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    EXPECT_EQ(Lib().GetLVXStatus(), LVX_STATE_STOPPED);
}

}  // namespace
}  // namespace stress

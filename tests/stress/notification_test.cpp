// Notifications through the library's window on the real backend: a burst
// behind a handler held in its first call, Stop from inside the handler, the
// merge of a waiting run, and the quit and end-session messages.
#include <atomic>
#include <mutex>
#include <vector>

#include "library.h"
#include "os/os.h"

namespace stress {
namespace {

// The handler is a plain function: what it works with is file-wide.
std::atomic<bool> released{false};    // the first call waits for it
const Library* stopInside = nullptr;  // when set, the first call then calls Stop
std::atomic<bool> stopReturned{false};
std::mutex seenLock;
// Never destroyed: the notification thread may still write it as the process exits.
std::vector<LvxDataType>& seen = *new std::vector<LvxDataType>;

void Record(LvxDataType type) {
    std::unique_lock<std::mutex> hold(seenLock);
    seen.push_back(type);
    if (seen.size() > 1) return;
    hold.unlock();
    Eventually([] { return released.load(); });
    if (stopInside != nullptr) {
        stopInside->Stop(false);
        stopReturned = true;
    }
}

std::vector<LvxDataType> Seen() {
    std::lock_guard<std::mutex> hold(seenLock);
    return seen;
}

LvxDataType Alternating(size_t i) { return i % 2 == 0 ? LVX_EVENT_BRIGHTNESS : LVX_EVENT_CONTRAST; }

class Notifications : public LoadedLibrary {
protected:
    void SetUp() override {
        LoadedLibrary::SetUp();
        seen.clear();
        released = false;
        stopInside = nullptr;
        stopReturned = false;
        Lib().SetEventHandler(Record);
        ASSERT_TRUE(Lib().Start());
    }
    void TearDown() override {
        released = true;
        LoadedLibrary::TearDown();
    }
};

TEST_F(Notifications, ABurstBehindASlowHandlerArrivesWholeAndInOrderUpToTheQueuesRoom) {
    size_t posted = 0;
    for (; posted < 10000; ++posted) ASSERT_TRUE(Sim().Notify(Alternating(posted), posted)) << posted;
    // Past the room of the window's queue a post fails rather than wait.
    while (posted < 10100 && Sim().Notify(Alternating(posted), posted)) ++posted;
    EXPECT_LT(posted, 10100u);
    released = true;
    std::vector<LvxDataType> expected(posted);
    for (size_t i = 0; i < posted; ++i) expected[i] = Alternating(i);
    EXPECT_TRUE(Eventually([&] { return Seen().size() >= posted; }));
    Lib().Stop(false);
    ASSERT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    EXPECT_TRUE(Seen() == expected) << Seen().size() << " delivered of " << posted;
    Report("calls", posted);
}

TEST_F(Notifications, StopFromInsideTheHandlerReturnsWithAThousandWaiting) {
    stopInside = &Lib();
    for (size_t i = 0; i <= 1000; ++i) ASSERT_TRUE(Sim().Notify(Alternating(i), i)) << i;
    released = true;
    ASSERT_TRUE(Eventually([] { return stopReturned.load(); })) << "Stop called by the handler did not return";
    EXPECT_EQ(Lib().GetLVXStatus(), LVX_STATE_STOPPED);
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
}

TEST_F(Notifications, AWaitingRunIsMergedAndTheWindowEndsOnQuitOrEndSession) {
    const uint64_t window = Sim().RegisteredWindow();
    ASSERT_TRUE(Sim().Notify(LVX_EVENT_BRIGHTNESS, 0));  // held in the handler
    for (int i = 1; i <= 100; ++i) ASSERT_TRUE(Sim().Notify(LVX_EVENT_CONTRAST, i));
    ASSERT_TRUE(os::PostWindowMessage(window, os::kMessageCommand, 0x402, 0));  // not the quit command
    ASSERT_TRUE(Sim().Notify(LVX_EVENT_BRIGHTNESS, 101));
    released = true;
    EXPECT_TRUE(Eventually([] { return Seen().size() >= 3; }));
    EXPECT_EQ(Seen(), (std::vector<LvxDataType>{LVX_EVENT_BRIGHTNESS, LVX_EVENT_CONTRAST, LVX_EVENT_BRIGHTNESS}));

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

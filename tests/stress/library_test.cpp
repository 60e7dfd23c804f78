// The library as a host loads it, on the real backend: notifications through
// its window (a burst behind a handler held in its first call, Stop from
// inside the handler, the merge of a waiting run with its last value, the
// quit and end-session messages), hosts that end right after Stop, loading
// and unloading it again and again, and two Starts at once.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <mutex>

#include "library.h"
#include "os/os.h"

namespace stress {
namespace {

// The handler is a plain function: what it works with is file-wide.
std::atomic<bool> released{false};    // the first call waits for it
const Library* stopInside = nullptr;  // when set, the first call then calls Stop
std::mutex seenLock;
// Never destroyed: the notification thread may still write it as the process exits.
std::vector<LvxDataType>& seen = *new std::vector<LvxDataType>;

void Record(LvxDataType type) {
    std::unique_lock<std::mutex> hold(seenLock);
    seen.push_back(type);
    if (seen.size() > 1) return;
    hold.unlock();
    Eventually([] { return released.load(); });
    if (stopInside != nullptr) stopInside->Stop(false);
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
        seen.clear(), released = false, stopInside = nullptr;  // as at load, for runs in one process
        ASSERT_TRUE((lib_.SetEventHandler(Record), lib_.Start()));
    }
    void TearDown() override { released = true, LoadedLibrary::TearDown(); }
};

TEST_F(Notifications, ABurstBehindASlowHandlerArrivesWholeAndInOrderUpToTheQueuesRoom) {
    size_t posted = 0;
    for (; posted < 10000; ++posted) ASSERT_TRUE(sim_.Notify(Alternating(posted), posted)) << posted;
    // Past the room of the window's queue a post fails rather than wait.
    while (posted < 10100 && sim_.Notify(Alternating(posted), posted)) ++posted;
    EXPECT_LT(posted, 10100u);
    released = true;
    EXPECT_TRUE(Eventually([&] { return Seen().size() >= posted; }));
    lib_.Stop(false);
    ASSERT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    std::vector<LvxDataType> expected(posted);
    for (size_t i = 0; i < posted; ++i) expected[i] = Alternating(i);
    EXPECT_TRUE(Seen() == expected) << Seen().size() << " delivered of " << posted;
    Report(posted);
}

TEST_F(Notifications, StopFromInsideTheHandlerReturnsWithAThousandWaiting) {
    stopInside = &lib_;
    for (size_t i = 0; i <= 1000; ++i) ASSERT_TRUE(sim_.Notify(Alternating(i), i)) << i;
    released = true;
    // The thread ends only once the handler, and the Stop it called, return.
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; })) << "Stop called by the handler did not return";
    EXPECT_EQ(lib_.GetLVXStatus(), LVX_STATE_STOPPED);
}

TEST_F(Notifications, AWaitingRunIsMergedAndTheWindowEndsOnQuitOrEndSession) {
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_BRIGHTNESS, 0));  // held in the handler
    for (int i = 1; i <= 100; ++i) ASSERT_TRUE(sim_.Notify(LVX_EVENT_CONTRAST, i));
    // The last value of a run decides between 0x103 (exactly 1) and 0x104.
    ASSERT_TRUE(sim_.Notify(0x103, 1) && sim_.Notify(0x103, 0));
    ASSERT_TRUE(os::PostWindowMessage(sim_.RegisteredWindow(), os::kMessageCommand, 0x402, 0));  // not the quit command
    ASSERT_TRUE(sim_.Notify(LVX_EVENT_BRIGHTNESS, 101));
    ASSERT_TRUE(sim_.Notify(0x103, 2) && sim_.Notify(0x103, 1));
    released = true;
    EXPECT_TRUE(Eventually([] { return Seen().size() >= 5; }));
    EXPECT_EQ(Seen(), (std::vector<LvxDataType>{LVX_EVENT_BRIGHTNESS, LVX_EVENT_CONTRAST, LVX_EVENT_SERVICE_104,
                                                LVX_EVENT_BRIGHTNESS, LVX_EVENT_SERVICE_103}));
    ASSERT_TRUE(os::PostWindowMessage(sim_.RegisteredWindow(), os::kMessageCommand, 0x401, 0));  // quit
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    lib_.Stop(false);
    ASSERT_TRUE(lib_.Start());
    ASSERT_TRUE(os::PostWindowMessage(sim_.RegisteredWindow(), os::kMessageEndSession, 1, 0));
    EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    EXPECT_EQ(lib_.GetLVXStatus(), LVX_STATE_STOPPED);
}

// Hosts that end right after Stop, each with its notification thread still
// in the handler, leave no window endpoint; this process's live window keeps
// its own.
TEST_F(Notifications, HostsEndingRightAfterStopLeaveNoEndpointBehind) {
    const uint64_t own = sim_.RegisteredWindow();
    for (int host = 0; host < 10; ++host) {
        char* argv[] = {const_cast<char*>(LMVX_ENDING_HOST_PATH), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ), 0);
        const bool held = Eventually([&] { return sim_.RegisteredWindow() >> 24 == static_cast<uint64_t>(pid); }) &&
                          sim_.Notify(LVX_EVENT_BRIGHTNESS, 0);
        if (!held) kill(pid, SIGKILL);
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(held && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "host " << host << " status " << status;
    }
    EXPECT_TRUE(WindowEndpointCount() == 1 && os::WindowExists(own)) << WindowEndpointCount() << " endpoints";
}

struct LoadUnload : LoadedLibrary {
    LoadUnload() { load_ = false; }  // each round loads its own
};

// Round after round leaves no thread, file or mapping behind; and a running
// notification thread keeps the library loaded to its last instruction of it.
TEST_F(LoadUnload, RoundsLeaveNothingBehindAndARunningThreadKeepsTheLibraryLoaded) {
    int threads = ThreadCount(), files = 0;
    // Round 0 settles what the process keeps for good (the crypto library's
    // tables, the loader's own state).
    for (int round = 0; round <= 20; ++round) {
        Library lib;
        ASSERT_TRUE(lib.Load()) << round;
        lib.SetEventHandler([](LvxDataType) {});
        ASSERT_TRUE(lib.Start()) << round;
        EXPECT_EQ(lib.GetContrast(), 50u) << round;
        lib.Stop(true), lib.Unload();
        ASSERT_TRUE(Eventually([] { return !LibraryLoaded(); })) << round;
        if (round == 0) files = OpenFileCount();
    }
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threads; })) << ThreadCount() << " threads, " << threads;
    EXPECT_EQ(OpenFileCount(), files);
    // Unloaded without Stop, the library stays until its thread, ended from
    // outside, has run its code to the end.
    Library lib;
    ASSERT_TRUE(lib.Load() && lib.Start());
    lib.Unload();
    EXPECT_TRUE(LibraryLoaded());
    ASSERT_TRUE(os::PostWindowMessage(sim_.RegisteredWindow(), os::kMessageEndSession, 1, 0));
    EXPECT_TRUE(Eventually([] { return !LibraryLoaded(); }));
    Report(21);
}

// Two host threads call Start together from Stopped, round after round:
// both join the one session, and it stays up until Stop.
class StartRace : public LoadedLibrary {};

TEST_F(StartRace, TwoStartsFromStoppedJoinOneSessionThatStaysUp) {
#if defined(__SANITIZE_THREAD__)
    constexpr int rounds = 75;  // each round waits out Start's 100 ms polls, slower under the sanitizer
#else
    constexpr int rounds = 150;
#endif
    for (int round = 0; round < rounds; ++round) {
        std::atomic<int> ready{0};
        // Both threads spin until both are there.
        const auto start = [&] { for (++ready; ready.load() < 2;) continue; return lib_.Start(); };
        std::future<bool> other = std::async(std::launch::async, start);
        const bool first = start();
        ASSERT_TRUE(first && other.get() && lib_.GetLVXStatus() == LVX_STATE_CONNECTED) << "round " << round;
        lib_.Stop(false);
    }
}

}  // namespace
}  // namespace stress

// Start, Stop, the notification thread and the handler, interleaved by the
// test through the fakes' hold points rather than by the scheduler.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "exports/api.h"
#include "fakes/hooks.h"
#include "os/os.h"
#include "session/connection.h"
#include "session/notification.h"
#include "sim_fixture.h"

namespace {

using lmvx::ConnectionState;
using lmvx::NotificationWindow;

class Race : public SimulatedService {};

// Runs `actor` until it parks at one of `points` or ends (at most 50 steps).
std::string RunTo(fake::Lockstep& steps, const std::string& actor, std::vector<std::string> points) {
    points.push_back("end");
    points.push_back("hang");
    std::string at = steps.Where(actor);
    for (int i = 0; i < 50 && (i == 0 || std::find(points.begin(), points.end(), at) == points.end()); ++i)
        at = steps.Run(actor);
    return at;
}

TEST_F(Race, AStartAfterAFailedOneDoesNotWaitForAnEndingThread) {
    ASSERT_TRUE(Start());
    fake::Hold ending("thread-end");
    Stop(false);
    ASSERT_TRUE(ending.WaitArrived());  // the old thread is still ending
    fake::Session().companionPresent = false;
    EXPECT_FALSE(Start());
    fake::Session().companionPresent = true;
    auto started = std::async(std::launch::async, [] { return Start(); });
    const std::future_status waited = started.wait_for(std::chrono::seconds(10));
    ending.Release();
    EXPECT_EQ(waited, std::future_status::ready);
    EXPECT_TRUE(started.get());
    EXPECT_TRUE(Eventually([] { return fake::Session().threadsRunning == 1; }));
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
}

std::atomic<int> oldCalls{0}, newCalls{0};
std::atomic<bool> handlerMayReturn{true};
void OldHandler(LvxDataType) {
    ++oldCalls;
    while (!handlerMayReturn) std::this_thread::yield();  // the test's bound, not this one, detects a hang
}
void NewHandler(LvxDataType) { ++newCalls; }

TEST_F(Race, AHandlerSwapDeliversEachNotificationOnce) {
    oldCalls = newCalls = 0;
    SetEventHandler(OldHandler);
    ASSERT_TRUE(Start());
    {
        fake::Hold dispatch("set-lock");  // after the handler's null test
        ASSERT_TRUE(os::PostWindowMessage(NotificationWindow.load(), lmvx::kServiceNotifyMessage, 0x10, 0));
        ASSERT_TRUE(dispatch.WaitArrived());
        SetEventHandler(NewHandler);
    }
    ASSERT_TRUE(os::PostWindowMessage(NotificationWindow.load(), lmvx::kServiceNotifyMessage, 0x12, 0));
    ASSERT_TRUE(Eventually([] { return oldCalls + newCalls == 2; }));
    EXPECT_EQ(oldCalls, 1);
}

TEST_F(Race, SetEventHandlerReturnsWhileTheOldHandlerRuns) {
    oldCalls = 0;
    handlerMayReturn = false;
    SetEventHandler(OldHandler);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(os::PostWindowMessage(NotificationWindow.load(), lmvx::kServiceNotifyMessage, 0x10, 0));
    ASSERT_TRUE(Eventually([] { return oldCalls == 1; }));
    // As a UI thread would at teardown while the handler waits for it.
    auto replaced = std::async(std::launch::async, [] { SetEventHandler(nullptr); });
    const std::future_status waited = replaced.wait_for(std::chrono::seconds(10));
    handlerMayReturn = true;
    EXPECT_EQ(waited, std::future_status::ready);
}

// Every interleaving of two sessions' steps (a late thread of a stopped
// session, two Starts at once, a Stop during Start's waits are among them): Start's claim, its thread's
// start, the window's publication, Start's registration, Stop, the thread's
// end; and the same with either session's Stop right after its claim,
// before its thread has begun. Afterwards every Start and thread has ended, and throughout:
// - the window slot holds a window exactly while the current session's is
//   published, and then that session's own;
// - a registered window is the current session's; quits are posted only by
//   a Stop, and only to the window of the session it stopped;
// - a session whose Start returned true stays Connected until a Stop.
enum Step { kClaim, kThreadStart, kPublish, kRegister, kStop, kThreadEnd };
using Steps = std::vector<Step>;
const Steps kStopLast = {kClaim, kThreadStart, kPublish, kRegister, kStop, kThreadEnd};
const Steps kStopEarly = {kClaim, kStop, kThreadStart, kPublish, kRegister, kThreadEnd};

class Interleaving {
public:
    explicit Interleaving(sim::Simulator& sim) : sim_(sim) {}

    void Play(const Steps (&steps)[2], const std::vector<int>& order) {
        for (int s = 0; s < 2; ++s) lockstep_.Spawn(Start(s), [this, s] { started_[s] = ::Start() ? 1 : 0; });
        int next[2] = {0, 0};
        for (int session : order) {
            const Step step = steps[session][next[session]++];
            const uint64_t quits = fake::Session().lastQuit;
            const uint32_t stopped = ConnectionState.Load().number;
            Do(session, step);
            if (fake::Session().lastQuit != quits) {  // only a Stop, only to its session's window
                EXPECT_EQ(step, kStop);
                EXPECT_EQ(fake::Session().lastQuit, WindowOf(stopped));
            }
            Check();
        }
        Stop(false);
        stopped_ = true;
        const uint32_t threads = fake::Session().threadsStarted;
        std::vector<std::string> actors = {Start(0), Start(1)};
        for (uint32_t k = 1; k <= threads; ++k) actors.push_back("thread" + std::to_string(k));
        for (int round = 0; round < 20; ++round)
            for (const std::string& actor : actors)
                if (lockstep_.Where(actor) != "end") lockstep_.Run(actor);
        for (const std::string& actor : actors) EXPECT_EQ(lockstep_.Where(actor), "end") << actor;
        EXPECT_EQ(NotificationWindow.load(), 0u);
        EXPECT_EQ(ConnectionState.load(), lmvx::kStopped);
    }

private:
    struct Thread {
        std::string name;
        uint32_t number = 0;  // of the session it serves
        uint64_t window = 0;
    };
    static std::string Start(int session) { return "start" + std::to_string(session); }
    // Runs `actor` at most `times` steps while it has not ended.
    void Steps(const std::string& actor, int times) {
        for (int i = 0; i < times && lockstep_.Where(actor) != "end"; ++i) lockstep_.Run(actor);
    }
    void Do(int session, Step step) {
        Thread& thread = threads_[session];
        const bool hasThread = !thread.name.empty();
        switch (step) {
            case kClaim: {
                const uint32_t before = fake::Session().threadsStarted;
                RunTo(lockstep_, Start(session), {"sleep"});
                if (fake::Session().threadsStarted > before)
                    thread = {"thread" + std::to_string(before + 1), ConnectionState.Load().number, 0};
                break;
            }
            case kThreadStart:
                if (hasThread && RunTo(lockstep_, thread.name, {"window-created"}) == "window-created")
                    thread.window = fake::Session().lastWindow;
                break;
            case kPublish:
                if (hasThread) RunTo(lockstep_, thread.name, {"message-loop", "thread-end"});
                break;
            case kRegister: Steps(Start(session), 3); break;
            case kStop:
                Stop(false);
                stopped_ = true;
                break;
            case kThreadEnd:
                if (hasThread) Steps(thread.name, 3);
                break;
        }
    }
    uint64_t WindowOf(uint32_t number) {
        for (const Thread& thread : threads_)
            if (!thread.name.empty() && thread.number == number) return thread.window;
        return 0;
    }
    void Check() {
        const lmvx::Session now = ConnectionState.Load();
        const uint64_t slot = NotificationWindow.load();
        EXPECT_EQ(slot != 0, now.thread == lmvx::ThreadPhase::kPublished);
        if (slot != 0) {
            EXPECT_EQ(slot, WindowOf(now.number));
        }
        const auto requests = sim_.Requests();
        for (; registered_ < requests.size(); ++registered_) {
            if (requests[registered_].command == 32) {
                EXPECT_EQ(requests[registered_].Word64(12), slot);
            }
        }
        for (int s = 0; s < 2; ++s) {
            if (started_[s] != 1 || connected_[s]) continue;
            connected_[s] = true;  // a Start just returned true: its session is the current one
            stopped_ = false;
            sessionUp_ = now.number;
        }
        if (!stopped_ && (connected_[0] || connected_[1])) {
            EXPECT_EQ(now.state, lmvx::kConnected);
            EXPECT_EQ(now.number, sessionUp_);
        }
    }

    sim::Simulator& sim_;
    fake::Lockstep lockstep_;
    std::atomic<int> started_[2] = {-1, -1};
    bool connected_[2] = {false, false};
    bool stopped_ = false;
    uint32_t sessionUp_ = 0;
    size_t registered_ = 0;
    Thread threads_[2];
};

TEST_F(Race, EveryInterleavingOfTwoSessionsKeepsThemApart) {
    const Steps variants[][2] = {{kStopLast, kStopLast}, {kStopEarly, kStopLast}, {kStopLast, kStopEarly}};
#if defined(__SANITIZE_THREAD__)
    constexpr int kEvery = 25;  // thread sanitizer checks a sample; the native run checks all
#else
    constexpr int kEvery = 1;
#endif
    for (const auto& steps : variants) {
        std::vector<int> order = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1};
        int cases = 0;
        do {
            if (cases++ % kEvery != 0) continue;
            SCOPED_TRACE(::testing::PrintToString(steps[0]) + ::testing::PrintToString(steps[1]) +
                         ::testing::PrintToString(order));
            Interleaving(Sim()).Play(steps, order);
            ASSERT_TRUE(ThreadsEnded());
            fake::Session().Reset();
            Sim().ClearLog();
            if (HasFailure()) break;
        } while (std::next_permutation(order.begin(), order.end()));
        EXPECT_EQ(cases, 924);
    }
}

}  // namespace

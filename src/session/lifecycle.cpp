// Start and Stop of a session.
#include "session/lifecycle.h"

#include <atomic>

#include "link/service.h"
#include "os/os.h"
#include "session/companion.h"
#include "session/connection.h"
#include "session/notification.h"

namespace lmvx {
namespace {

constexpr uint32_t kWaitRoundMs = 100;

struct PollingDefault {
    int32_t category;
    uint32_t intervalMs;
};
// In the order the service expects them.
constexpr PollingDefault kPollingDefaults[] = {{1, 5000}, {2, 5000}, {3, 15000}, {4, 20000}, {5, 30000}};

uint32_t Next(uint32_t number) { return number + 1 == 0 ? 1 : number + 1; }

// The session that Start joins: the current one when a thread serves it,
// else a new one (from Stopped it becomes Disconnected) whose thread the
// caller must start. Concurrent Starts thus join one session.
uint32_t ClaimSession(bool* startThread) {
    uint32_t number = 0;
    ConnectionState.Update([&](Session& s) {
        *startThread = s.state == kStopped || s.thread == ThreadPhase::kNone;
        if (!*startThread) {
            number = s.number;
            return false;
        }
        number = s.number = Next(s.number);
        if (s.state == kStopped) s.state = kDisconnected;
        s.thread = ThreadPhase::kStarting;
        return true;
    });
    return number;
}

// The state of session `number`, or Stopped once another session replaced it.
int32_t StateOf(uint32_t number) {
    const Session s = ConnectionState.Load();
    return s.number == number ? s.state : kStopped;
}

// Every Stop called, counted before it acts: a Start that sees the count
// change after it began returns false.
std::atomic<uint32_t> stopCalls{0};

// Takes the registration for session `number` while it is live with its
// window published and no other registration is under way.
bool BeginRegistration(uint32_t number) {
    return ConnectionState.Update([number](Session& s) {
        if (s.number != number || s.state == kStopped || s.thread != ThreadPhase::kPublished || s.registering)
            return false;
        s.registering = true;
        return true;
    });
}

// Gives the registration back; true when session `number` is still live.
bool EndRegistration(uint32_t number) {
    Session now;
    ConnectionState.Update(
        [](Session& s) {
            s.registering = false;
            return true;
        },
        &now);
    return now.number == number && now.state != kStopped;
}

std::atomic<bool> forkWatched{false};

// A forked child has none of its parent's threads: it starts without a
// session, so that nothing it does can end or join the parent's.
void ForgetInheritedSession() {
    ConnectionState.Update([](Session& s) {
        s.number = Next(s.number);
        s.state = kStopped;
        s.thread = ThreadPhase::kNone;
        s.registering = false;
        return true;
    });
    ForgetNotificationThreads();
}

}  // namespace

bool StartSession() {
    if (!forkWatched.exchange(true)) os::WhenForked(ForgetInheritedSession);
    const uint32_t stopsBefore = stopCalls.load();
    if (!EnsureCompanionApp()) {
        // From Stopped this is a new session without a thread, so that no
        // late answer or thread of the stopped one can touch it.
        ConnectionState.Update([](Session& s) {
            if (s.state == kStopped) s.number = Next(s.number);
            s.state = kStartFailed;
            return true;
        });
        return false;
    }
    bool startThread = false;
    const uint32_t number = ClaimSession(&startThread);
    // A Stop since this Start began: a session claimed here ends unstarted.
    if (stopCalls.load() != stopsBefore || (startThread && !StartNotificationThread(number))) {
        if (startThread) StopIfCurrent(number);
        return false;
    }

    RefreshConnectionState();
    while (StateOf(number) == kDisconnected) {
        os::SleepMs(kWaitRoundMs);
        RefreshConnectionState();
    }
    uint64_t window = 0;
    for (;;) {
        // Stopped, or replaced by a newer session, during the waits.
        if (StateOf(number) == kStopped) return false;
        if ((window = PublishedWindow(number)) != 0 && BeginRegistration(number)) break;
        os::SleepMs(kWaitRoundMs);
    }
    ORV::LvxAsService::RegisterNotificationWindow(window);
    for (const PollingDefault& polling : kPollingDefaults)
        ORV::LvxAsService::SetPollingInterval(polling.category, polling.intervalMs);
    return EndRegistration(number);
}

void StopSession(bool notifyService) {
    stopCalls.fetch_add(1);
    Session stopped;
    if (!ConnectionState.Update(
            [](Session& s) {
                if (s.state == kStopped) return false;
                s.state = kStopped;
                s.thread = ThreadPhase::kNone;
                return true;
            },
            &stopped))
        return;
    // The window of the session just stopped, if it was published; taken
    // before anything else so that the slot is free for the next session.
    const uint64_t window = stopped.thread == ThreadPhase::kPublished ? NotificationWindow.exchange(0) : 0;
    if (notifyService) {
        // The service hears of the end after a registration under way.
        while (ConnectionState.Load().registering) os::SleepMs(1);
        ORV::LvxAsService::EndSession();
    }
    if (window != 0) os::PostWindowMessage(window, os::kMessageCommand, kQuitCommand, 0);
}

}  // namespace lmvx

// Start and Stop of a session.
#include "session/lifecycle.h"
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

}  // namespace

bool StartSession() {
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
    if (startThread && !StartNotificationThread(number)) {
        StopIfCurrent(number);
        return false;
    }

    RefreshConnectionState();
    while (StateOf(number) == kDisconnected) {
        os::SleepMs(kWaitRoundMs);
        RefreshConnectionState();
    }
    uint64_t window = 0;
    while (StateOf(number) != kStopped && (window = PublishedWindow(number)) == 0) os::SleepMs(kWaitRoundMs);
    // Stopped, or replaced by a newer session, during the waits.
    if (window == 0) return false;

    ORV::LvxAsService::RegisterNotificationWindow(window);
    for (const PollingDefault& polling : kPollingDefaults)
        ORV::LvxAsService::SetPollingInterval(polling.category, polling.intervalMs);
    return true;
}

void StopSession(bool notifyService) {
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
    if (notifyService) ORV::LvxAsService::EndSession();
    if (window != 0) os::PostWindowMessage(window, os::kMessageCommand, kQuitCommand, 0);
}

}  // namespace lmvx

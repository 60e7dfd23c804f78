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

uint32_t NextSession(uint32_t session) { return session + 1 == 0 ? 1 : session + 1; }

bool Ended(int32_t state) { return state == kStopped || state == kStartFailed; }

// Moves a stopped state to a new, disconnected session, or gives a running
// session without a notification thread a new session number for the thread
// it needs. Returns the session a new thread must serve, or 0 when the
// current session already has its thread.
uint32_t ClaimSession() {
    for (;;) {
        const SessionStateWord::Value now = ConnectionState.LoadWithSession();
        if (now.state == kStopped) {
            const uint32_t session = NextSession(now.session);
            if (ConnectionState.CompareExchange(now, {kDisconnected, session})) return session;
        } else if (!NotificationThreadRunning()) {
            const uint32_t session = NextSession(now.session);
            if (ConnectionState.CompareExchange(now, {now.state, session})) return session;
        } else {
            return 0;
        }
    }
}

}  // namespace

bool StartSession() {
    if (!EnsureCompanionApp()) {
        ConnectionState.store(kStartFailed);
        return false;
    }
    NotificationThreadStart* thread = nullptr;
    const uint32_t session = ClaimSession();
    if (session != 0 && !StartNotificationThread(session, &thread)) {
        // No thread, no session: back to Stopped unless someone moved on.
        const SessionStateWord::Value now = ConnectionState.LoadWithSession();
        if (now.session == session) ConnectionState.CompareExchange(now, {kStopped, session});
        return false;
    }

    if (ConnectionState.load() != kStopped) RefreshConnectionState();
    while (ConnectionState.load() == kDisconnected) {
        os::SleepMs(kWaitRoundMs);
        if (ConnectionState.load() != kStopped) RefreshConnectionState();
    }

    uint64_t window = 0;
    for (;;) {
        if (Ended(ConnectionState.load())) break;
        window = thread != nullptr ? thread->Window() : NotificationWindow.load();
        if (window != 0 && os::WindowExists(window)) break;
        if (thread != nullptr ? thread->Ended() : !NotificationThreadRunning()) {
            window = 0;  // the thread could not make its window
            break;
        }
        os::SleepMs(kWaitRoundMs);
    }
    const SessionStateWord::Value now = ConnectionState.LoadWithSession();
    if (thread != nullptr) thread->Release();
    // A session that was stopped or replaced during the waits is not this
    // Start's to register.
    if (window == 0 || Ended(now.state) || (session != 0 && now.session != session)) return false;

    ORV::LvxAsService::RegisterNotificationWindow(window);
    for (const PollingDefault& polling : kPollingDefaults)
        ORV::LvxAsService::SetPollingInterval(polling.category, polling.intervalMs);
    return true;
}

void StopSession(bool notifyService) {
    if (ConnectionState.exchange(kStopped) == kStopped) return;
    if (notifyService) ORV::LvxAsService::EndSession();
    const uint64_t window = NotificationWindow.exchange(0);
    if (window != 0) os::PostWindowMessage(window, os::kMessageCommand, kQuitCommand, 0);
}

}  // namespace lmvx

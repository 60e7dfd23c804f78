#include "session/notification.h"

#include <deque>
#include <new>
#include <utility>

#include "os/os.h"
#include "session/connection.h"
#include "session/events.h"

namespace lmvx {

std::atomic<uint64_t> NotificationWindow{0};

namespace {

// The session whose notification thread is running; 0 when none is.
std::atomic<uint32_t> RunningThreadSession{0};

// Per notification thread: the window, and the notifications that arrived
// while the handler was running (a handler that pumps messages, such as a
// message box, must not be entered again; they are delivered after it, in
// order).
thread_local uint64_t threadWindow = 0;
thread_local bool delivering = false;
thread_local std::deque<std::pair<uint64_t, uint64_t>>* pending = nullptr;

void Deliver(uint64_t code, uint64_t value) {
    if (delivering) {
        if (pending != nullptr) pending->emplace_back(code, value);
        return;
    }
    delivering = true;
    DispatchNotification(code, value);
    while (pending != nullptr && !pending->empty()) {
        const auto next = pending->front();
        pending->pop_front();
        DispatchNotification(next.first, next.second);
    }
    delivering = false;
}

bool NotificationWindowProc(uint32_t message, uint64_t wParam, uint64_t lParam) {
    switch (message) {
        case kServiceNotifyMessage: {
            // A run of the same code waiting at the front of the queue is one
            // change: deliver it once, with the last value.
            uint64_t value = lParam;
            while (os::TakeWaitingMessage(threadWindow, kServiceNotifyMessage, wParam, &value)) {
            }
            Deliver(wParam, value);
            return true;
        }
        case os::kMessageCommand:
            if (wParam == kQuitCommand) os::PostQuit(1);
            return false;
        case os::kMessageEndSession: os::PostQuit(0); return true;
        default: return false;
    }
}

// Whether `session` is still the current, running session.
bool IsCurrent(uint32_t session) {
    const SessionStateWord::Value now = ConnectionState.LoadWithSession();
    return now.session == session && now.state != kStopped;
}

}  // namespace

void NotificationThreadStart::Release() {
    if (references_.fetch_sub(1) == 1) delete this;
}

bool NotificationThreadRunning() {
    const uint32_t running = RunningThreadSession.load();
    return running != 0 && running == ConnectionState.LoadWithSession().session;
}

bool StartNotificationThread(uint32_t session, NotificationThreadStart** start) {
    NotificationThreadStart* thread = new (std::nothrow) NotificationThreadStart(session);
    if (thread == nullptr) return false;
    RunningThreadSession.store(session);
    if (!os::StartDetachedThread(RunNotificationThread, thread)) {
        uint32_t expected = session;
        RunningThreadSession.compare_exchange_strong(expected, 0);
        delete thread;
        return false;
    }
    *start = thread;
    return true;
}

void RunNotificationThread(void* argument) {
    NotificationThreadStart* start = static_cast<NotificationThreadStart*>(argument);
    const uint32_t session = start->session_;
    os::EnterApartment();
    std::deque<std::pair<uint64_t, uint64_t>> waiting;
    pending = &waiting;

    const uint64_t window =
        os::CreateNotificationWindow(kNotificationWindowClass, kNotificationWindowTitle, NotificationWindowProc);
    if (window != 0) {
        threadWindow = window;
        // Every published window is ended by whoever takes it from the slot:
        // Stop, or the next thread, which replaces it here. So no thread of
        // an older session outlives the session, however Start and Stop race.
        const uint64_t replaced = NotificationWindow.exchange(window);
        if (replaced != 0) os::PostWindowMessage(replaced, os::kMessageCommand, kQuitCommand, 0);
        start->window_.store(window);
        // A Stop that took the window slot before it was filled cannot post
        // the quit: such a session is seen ended here instead.
        if (IsCurrent(session)) os::RunMessageLoop();
        uint64_t mine = window;
        NotificationWindow.compare_exchange_strong(mine, 0);
        os::CloseNotificationWindow(window);
        threadWindow = 0;
    }

    pending = nullptr;
    os::LeaveApartment();
    // The end of the thread ends its own session only: a newer session
    // started meanwhile keeps its state.
    for (SessionStateWord::Value now = ConnectionState.LoadWithSession();
         now.session == session && now.state != kStopped; now = ConnectionState.LoadWithSession()) {
        if (ConnectionState.CompareExchange(now, {kStopped, session})) break;
    }
    uint32_t expected = session;
    RunningThreadSession.compare_exchange_strong(expected, 0);
    start->ended_.store(true);
    start->Release();
}

}  // namespace lmvx

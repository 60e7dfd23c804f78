#include "session/notification.h"

#include <deque>
#include <utility>

#include "os/os.h"
#include "session/connection.h"
#include "session/events.h"

namespace lmvx {

std::atomic<uint64_t> NotificationWindow{0};

namespace {

// The session whose thread is delivering a notification; 0 when none is.
// A newer session's thread waits for an older one's delivery to return, so
// that the handler gets one event at a time, in order, across sessions.
std::atomic<uint32_t> deliveringSession{0};

bool IsLive(const Session& s, uint32_t number) { return s.number == number && s.state != kStopped; }

// Per notification thread: its session, its window, and the notifications
// that arrived while the handler was running (a handler that pumps messages,
// such as a message box, is not entered again; they are delivered after it,
// in order).
thread_local uint32_t threadSession = 0;
thread_local uint64_t threadWindow = 0;
thread_local std::deque<std::pair<uint64_t, uint64_t>>* pending = nullptr;

// Delivers one notification while the thread's session is live. Once it has
// ended, nothing more is delivered and the loop ends: a Stop ends its thread
// even when its quit command found the queue full (a full queue always has a
// next message to notice the end at).
bool DeliverWhileLive(uint64_t code, uint64_t value) {
    bool live = IsLive(ConnectionState.Load(), threadSession);
    for (uint32_t none = 0; live && !deliveringSession.compare_exchange_strong(none, threadSession); none = 0) {
        os::SleepMs(1);
        live = IsLive(ConnectionState.Load(), threadSession);
    }
    if (!live) {
        os::PostQuit(1);
        return false;
    }
    // Read again with the delivery taken: no event of an ended session
    // follows one of the next.
    live = IsLive(ConnectionState.Load(), threadSession);
    if (live) DispatchNotification(code, value);
    deliveringSession.store(0);
    if (!live) os::PostQuit(1);
    return live;
}

void Deliver(uint64_t code, uint64_t value) {
    if (pending != nullptr) {
        pending->emplace_back(code, value);
        return;
    }
    std::deque<std::pair<uint64_t, uint64_t>> waiting;
    pending = &waiting;
    bool live = DeliverWhileLive(code, value);
    while (live && !waiting.empty()) {
        const auto next = waiting.front();
        waiting.pop_front();
        live = DeliverWhileLive(next.first, next.second);
    }
    pending = nullptr;
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

// Puts `window` into the slot and moves session `number` to kPublished.
// False, with the slot as it was, when the session ended first: then no one
// else knows the window, and the thread ends without running its loop.
bool Publish(uint32_t number, uint64_t window) {
    uint64_t empty = 0;
    while (!NotificationWindow.compare_exchange_strong(empty, window)) {
        // An ended session's window, taken out by its Stop or thread right
        // after the state change that ended it.
        if (!IsLive(ConnectionState.Load(), number)) return false;
        empty = 0;
        os::SleepMs(1);
    }
    const bool published = ConnectionState.Update([number](Session& s) {
        if (!IsLive(s, number) || s.thread != ThreadPhase::kStarting) return false;
        s.thread = ThreadPhase::kPublished;
        return true;
    });
    if (!published) NotificationWindow.compare_exchange_strong(window, 0);
    return published;
}

void RunNotificationThread(void* argument) {
    const auto number = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(argument));
    os::EnterApartment();
    const uint64_t window =
        os::CreateNotificationWindow(kNotificationWindowClass, kNotificationWindowTitle, NotificationWindowProc);
    const bool published = window != 0 && Publish(number, window);
    if (published) {
        threadSession = number;
        threadWindow = window;
        os::RunMessageLoop();
        threadWindow = 0;
    }
    os::LeaveApartment();
    // An end that no Stop asked for (the end of the Windows session, a quit
    // from elsewhere, no window) ends this thread's own session only; the
    // thread then takes its window out of the slot, as Stop would have.
    const bool endedHere = StopIfCurrent(number);
    uint64_t mine = window;
    if (endedHere && published) NotificationWindow.compare_exchange_strong(mine, 0);
    if (window != 0) os::CloseNotificationWindow(window);
}

}  // namespace

bool StartNotificationThread(uint32_t number) {
    return os::StartDetachedThread(RunNotificationThread, reinterpret_cast<void*>(uintptr_t{number}));
}

void ForgetNotificationThreads() {
    NotificationWindow.store(0);
    deliveringSession.store(0);
}

uint64_t PublishedWindow(uint32_t number) {
    const Session before = ConnectionState.Load();
    if (!IsLive(before, number) || before.thread != ThreadPhase::kPublished) return 0;
    const uint64_t window = NotificationWindow.load();
    // Unchanged session word: the slot held this session's window throughout.
    const Session after = ConnectionState.Load();
    if (!IsLive(after, number) || after.thread != ThreadPhase::kPublished) return 0;
    return os::WindowExists(window) ? window : 0;
}

}  // namespace lmvx

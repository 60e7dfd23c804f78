// The notification thread: one per session, owning the hidden window to
// which the service posts its change notifications.
#pragma once

#include <atomic>
#include <cstdint>

namespace lmvx {

inline constexpr uint32_t kServiceNotifyMessage = 0x9001;
inline constexpr uint64_t kQuitCommand = 0x401;
inline constexpr char16_t kNotificationWindowClass[] = u"8D973B9B-5716-436B-B5AF-1D5ACF0ED338_lmvxdll";
inline constexpr char16_t kNotificationWindowTitle[] = u"Lumivex";

// The window of the current session; 0 when there is none. Stop takes it.
extern std::atomic<uint64_t> NotificationWindow;

// What the starter of a notification thread keeps to follow it: the window
// it made (0 until then) and whether it has ended. Shared by the starter and
// the thread; released by whichever lets go last.
class NotificationThreadStart {
public:
    uint64_t Window() const { return window_.load(); }
    bool Ended() const { return ended_.load(); }
    void Release();

private:
    friend bool StartNotificationThread(uint32_t session, NotificationThreadStart** start);
    friend void RunNotificationThread(void* argument);
    explicit NotificationThreadStart(uint32_t session) : session_(session) {}
    const uint32_t session_;
    std::atomic<uint64_t> window_{0};
    std::atomic<bool> ended_{false};
    std::atomic<int> references_{2};
};

// Whether a notification thread of the current session is running (or
// starting).
bool NotificationThreadRunning();

// Starts the thread for `session`. On success *start follows it and must be
// released by the caller.
bool StartNotificationThread(uint32_t session, NotificationThreadStart** start);

void RunNotificationThread(void* argument);

}  // namespace lmvx

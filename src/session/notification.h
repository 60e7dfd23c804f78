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

// The window of the session whose thread phase is kPublished; 0 when none
// is. It holds one window at a time: whoever moves that session out of
// kPublished (Stop, or the thread's own end) takes the window out, and a new
// thread publishes only into an empty slot. So a Stop only ever ends the
// window of its own session.
extern std::atomic<uint64_t> NotificationWindow;

// Starts the thread that serves session `number` (whose phase is
// kStarting). False when no thread could be created.
bool StartNotificationThread(uint32_t number);

// In a forked child, which has no notification thread: no window published,
// no delivery under way.
void ForgetNotificationThreads();

// The window of session `number` while that session is current, not
// stopped and its window published and existing; 0 otherwise.
uint64_t PublishedWindow(uint32_t number);

}  // namespace lmvx

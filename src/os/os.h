// The operating-system seam: the few operations the subsystems need, in their
// own terms. Exactly one implementation folder (win32/ or posix/) is linked
// into the library; unit tests link fakes instead. Nothing here throws.
// Strings are UTF-16, zero-terminated; Windows paths keep their Windows form
// and the POSIX backend maps them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

// ---- Service pipe, session, protection, time ------------------------------

// One pipe transaction: connect to the message pipe `name` (Windows form,
// "\\.\pipe\NAME"), waiting up to `waitMs` for a free instance, write the
// `requestSize` bytes of `request`, read one reply message of at most
// `replyCapacity` bytes into `reply`, close. `request` and `reply` may be the
// same buffer. True when a whole reply message was read; *received then holds
// its length. A reply longer than the capacity is a failure.
bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t waitMs);

// The session id of the calling process. False when it cannot be determined.
bool QuerySessionId(uint32_t* sessionId);

// Cross-process memory protection in place. `size` must be a non-zero
// multiple of 16. False when the platform's encryption is unavailable or the
// call fails; the buffer is then in an unspecified state.
bool ProtectMemory(void* data, uint32_t size);
bool UnprotectMemory(void* data, uint32_t size);

void SleepMs(uint32_t milliseconds);

// ---- Threads -----------------------------------------------------------------

// Has `reset` run in the child of every later fork of this process, before
// fork returns there; nothing where processes do not fork (Windows).
void WhenForked(void (*reset)());

// Starts entry(argument) on a new detached thread with the default stack.
// The thread keeps the library loaded until entry returns. False when no
// thread could be created (entry is then never called).
bool StartDetachedThread(void (*entry)(void* argument), void* argument);

// A process-local lock with the platform's critical-section semantics
// (recursive on the owning thread). The storage is plain bytes so that users
// need no platform header; it is never destroyed.
struct LockStorage {
    alignas(16) unsigned char bytes[64];
};
void InitializeLock(LockStorage* lock);
void EnterLock(LockStorage* lock);
void LeaveLock(LockStorage* lock);

// COM for the calling thread as a single-threaded apartment, and its end.
// Outcomes are not reported: the window works either way.
void EnterApartment();
void LeaveApartment();

// ---- The notification window ---------------------------------------------------
//
// A hidden window owned by the thread that creates it. Its handle is a
// non-zero 64-bit value that other processes (the service) post to.

inline constexpr uint32_t kMessageCommand = 0x0111;     // WM_COMMAND
inline constexpr uint32_t kMessageEndSession = 0x0016;  // WM_ENDSESSION

// Called on the window's thread for every message dispatched to the window.
// Returns true when it handled the message; false asks for default
// processing.
using WindowMessageHandler = bool (*)(uint32_t message, uint64_t wParam, uint64_t lParam);

// Registers the window class `className` (an earlier registration in this
// process is reused) and creates the hidden window titled `title` on the
// calling thread. 0 when the window cannot be created.
uint64_t CreateNotificationWindow(const char16_t* className, const char16_t* title, WindowMessageHandler handler);

// Fetches, translates and dispatches the calling thread's messages until a
// quit message arrives.
void RunMessageLoop();

// Ends the calling thread's message loop after the current message.
void PostQuit(int exitCode);

// Looks at the first waiting message `message` of `window` (on the calling
// thread's queue) without removing it. When its wParam equals `wParam`, it is
// removed, *lParam receives its lParam and the result is true; otherwise the
// queue is left as it is and the result is false.
bool TakeWaitingMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t* lParam);

// Releases what the window holds beyond its thread (the POSIX endpoint);
// called by the window's thread after its loop.
void CloseNotificationWindow(uint64_t window);

// Posts a message to any window, of this or another process.
bool PostWindowMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t lParam);

// Whether `window` names an existing window.
bool WindowExists(uint64_t window);

// ---- Companion application -----------------------------------------------------

// Whether a top-level window of class `className` exists.
bool FindWindowOfClass(const char16_t* className);

// Reads the string value `value` of the key `subKey` under HKEY_LOCAL_MACHINE
// into `out` (capacity `outUnits`, zero-filled first): the text up to the
// first zero or the end of the data, cut to outUnits - 1. False when the key
// or the value is missing or empty.
bool ReadMachineRegistryString(const char16_t* subKey, const char16_t* value, char16_t* out, uint32_t outUnits);

// The full path of the host process's executable. False on failure.
bool ExecutablePath(char16_t* out, uint32_t outUnits);

// Whether a file exists at `path` (an existence-only open).
bool FileExists(const char16_t* path);

// Opens `file` (a path or a URL) with the shell's "open" verb, shown normally,
// in the working folder `directory` (null: none). Outcome not reported.
void ShellOpen(const char16_t* file, const char16_t* directory);

// ---- Platform probes -------------------------------------------------------------

// Reads `key` of `section` in the ini file `path` into `out` (capacity
// `outUnits`), with an empty default. Returns the characters copied without
// the terminator: 0 when the file, section or key is missing or the value is
// empty; a longer value is cut to outUnits - 1.
uint32_t ReadIniString(const char16_t* path, const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t outUnits);

// The Plug and Play hardware id of the display adapter number `index`
// (counting from 0, in the system's order) into `out`. False when there is no
// such adapter: the end of the enumeration.
bool DisplayAdapterId(uint32_t index, char16_t* out, uint32_t outUnits);
inline constexpr uint32_t kAdapterIdUnits = 128;  // the id's field, terminator included

// The machine-wide common application-data folder, without a trailing
// separator. False when the system offers none.
bool CommonAppDataFolder(char16_t* out, uint32_t outUnits);

// Whether `path` exists and is a directory (hidden and read-only included).
bool IsDirectory(const char16_t* path);

}  // namespace os

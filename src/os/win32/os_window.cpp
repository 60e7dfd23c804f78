// Windows backend of the notification window, the companion window lookup and
// launching. The window procedure forwards every message to the handler its
// window was created with; the class is registered with the host's main
// module as instance and unregistered again when the window is closed or
// cannot be created, so that no class outlives the code of its window
// procedure.
#include "os/os.h"
#include "os/win32/win32.h"

#include <shellapi.h>

namespace os {
namespace {

using win32::DropLastError;
using win32::FromWindow;
using win32::ToWindow;
using win32::Wide;

// The handler of the window being created on this thread: messages sent
// during CreateWindowExW arrive before the window carries its handler.
thread_local WindowMessageHandler creatingHandler = nullptr;

constexpr int kClassNameUnits = 256;  // the longest class name Windows accepts

LRESULT CALLBACK NotificationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto handler = reinterpret_cast<WindowMessageHandler>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (handler == nullptr) handler = creatingHandler;
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (handler != nullptr && handler(message, static_cast<uint64_t>(wParam), static_cast<uint64_t>(lParam)))
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

// Registers the class, or keeps a registration that is already there when it
// is this module's. One left by another module (an earlier load of this
// library, at another address, whose procedure is no longer mapped) is
// replaced; false when it cannot be, while a window of it lives.
bool RegisterNotificationClass(const wchar_t* className, HINSTANCE instance) {
    WNDCLASSW windowClass{};
    if (GetClassInfoW(instance, className, &windowClass)) {
        if (windowClass.lpfnWndProc == NotificationWindowProc) return true;
        if (!UnregisterClassW(className, instance)) {
            DropLastError();
            return false;
        }
    } else {
        DropLastError();
    }
    windowClass = WNDCLASSW{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = NotificationWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = nullptr;
    // The main module usually has no arrow cursor of its own; for a hidden
    // window that does not matter.
    windowClass.hCursor = LoadCursorW(instance, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = className;
    if (RegisterClassW(&windowClass) == 0) DropLastError();  // registered meanwhile here, and reused
    return true;
}

}  // namespace

uint64_t CreateNotificationWindow(const char16_t* className, const char16_t* title, WindowMessageHandler handler) {
    if (className == nullptr || title == nullptr) return 0;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND window = nullptr;
    // A window of an earlier session that closes meanwhile may take the
    // shared class registration with it: register again and retry once.
    for (int attempt = 0; attempt < 2 && window == nullptr; ++attempt) {
        if (!RegisterNotificationClass(Wide(className), instance)) break;
        creatingHandler = handler;
        window = CreateWindowExW(0, Wide(className), Wide(title), WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance,
                                 nullptr);
        if (window == nullptr) {
            DropLastError();
            // No window of this one will unregister the class, which must
            // not outlive this module. Fails, as it should, while another
            // window of the class lives.
            if (!UnregisterClassW(Wide(className), instance)) DropLastError();
        }
    }
    if (window != nullptr) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
    creatingHandler = nullptr;
    return FromWindow(window);
}

void RunMessageLoop() {
    MSG message;
    // 0 is the quit message; -1 an error, which would repeat for ever.
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PostQuit(int exitCode) { PostQuitMessage(exitCode); }

bool TakeWaitingMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t* lParam) {
    HWND target = ToWindow(window);
    MSG waiting;
    if (!PeekMessageW(&waiting, target, message, message, PM_NOREMOVE)) return false;
    if (static_cast<uint64_t>(waiting.wParam) != wParam) return false;
    // Posted messages only join the end of the queue, and only this thread
    // removes from it: the message removed is the one just looked at.
    if (!PeekMessageW(&waiting, target, message, message, PM_REMOVE)) return false;
    if (lParam != nullptr) *lParam = static_cast<uint64_t>(waiting.lParam);
    return true;
}

void CloseNotificationWindow(uint64_t window) {
    HWND target = ToWindow(window);
    wchar_t className[kClassNameUnits] = {};
    const int length = GetClassNameW(target, className, kClassNameUnits);
    if (!DestroyWindow(target)) DropLastError();
    // Fails while another window of the class lives (a newer session's);
    // that window's close unregisters it.
    if (length > 0 && !UnregisterClassW(className, GetModuleHandleW(nullptr))) DropLastError();
}

bool PostWindowMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t lParam) {
    if (!PostMessageW(ToWindow(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam))) {
        DropLastError();
        return false;
    }
    return true;
}

bool WindowExists(uint64_t window) { return window != 0 && IsWindow(ToWindow(window)) != FALSE; }

bool FindWindowOfClass(const char16_t* className) {
    if (className == nullptr) return false;
    if (FindWindowW(Wide(className), nullptr) != nullptr) return true;
    DropLastError();
    return false;
}

void ShellOpen(const char16_t* file, const char16_t* directory) {
    if (file == nullptr) return;
    ShellExecuteW(nullptr, L"open", Wide(file), nullptr, directory != nullptr ? Wide(directory) : nullptr,
                  SW_SHOWNORMAL);
}

}  // namespace os

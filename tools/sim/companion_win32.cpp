// On Windows the companion is a real top-level window of its class, owned by
// a thread of its own that pumps its messages.
#include <windows.h>

#include <atomic>
#include <thread>

#include "companion.h"

namespace sim {
namespace {

class Win32CompanionWindow final : public CompanionWindow {
public:
    ~Win32CompanionWindow() override { Hide(); }

    bool Show(const std::u16string& className) override {
        if (thread_.joinable()) return true;
        className_ = className;
        std::atomic<int> outcome{0};  // 1 shown, -1 failed
        thread_ = std::thread([this, &outcome] {
            const wchar_t* name = reinterpret_cast<const wchar_t*>(className_.c_str());
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = name;
            RegisterClassW(&windowClass);
            HWND window = CreateWindowExW(0, name, L"Lumivex", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                          windowClass.hInstance, nullptr);
            threadId_ = GetCurrentThreadId();
            outcome = window != nullptr ? 1 : -1;
            if (window == nullptr) return;
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
            DestroyWindow(window);
            UnregisterClassW(name, windowClass.hInstance);
        });
        while (outcome == 0) Sleep(1);
        if (outcome < 0) {
            thread_.join();
            return false;
        }
        return true;
    }

    void Hide() override {
        if (!thread_.joinable()) return;
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

private:
    std::u16string className_;
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
};

}  // namespace

std::unique_ptr<CompanionWindow> CreateCompanionWindow() { return std::make_unique<Win32CompanionWindow>(); }

}  // namespace sim

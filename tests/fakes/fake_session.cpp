#include "fakes/fake_session.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "fakes/hooks.h"
#include "os/os.h"

namespace fake {
namespace {

struct Message {
    uint32_t message;
    uint64_t wParam;
    uint64_t lParam;
};

struct Window {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Message> queue;
    os::WindowMessageHandler handler = nullptr;
};

std::mutex windowsMutex;
std::map<uint64_t, std::shared_ptr<Window>> windows;
uint64_t nextWindow = 0x1000;

thread_local std::shared_ptr<Window> current;
thread_local uint64_t currentHandle = 0;
thread_local bool quit = false;

std::shared_ptr<Window> Find(uint64_t handle) {
    std::lock_guard<std::mutex> lock(windowsMutex);
    auto it = windows.find(handle);
    return it == windows.end() ? nullptr : it->second;
}

// A copy of `text` into `out` (capacity `units`); false when it does not fit.
bool CopyOut(const std::u16string& text, char16_t* out, uint32_t units) {
    if (text.empty() || text.size() + 1 > units) return false;
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = 0;
    return true;
}

}  // namespace

SessionState& Session() {
    static SessionState state;
    return state;
}

void SessionState::Reset() {
    companionPresent = true;
    companionAppearsOnLaunch = windowCreationFails = threadCreationFails = false;
    threadsStarted = companionLookups = 0;
    lastQuit = 0;
    queueCapacity = SIZE_MAX;
    registry.clear();
    executablePath = u"C:\\Program Files\\Host\\host.exe";
    files.clear();
    launches.clear();
}

}  // namespace fake

namespace os {

void WhenForked(void (*reset)()) { fake::Session().forkReset = reset; }

bool StartDetachedThread(void (*entry)(void*), void* argument) {
    if (fake::Session().threadCreationFails) return false;
    ++fake::Session().threadsStarted;
    ++fake::Session().threadsRunning;
    std::thread([entry, argument, name = fake::NextThreadName()] {
        if (!name.empty()) fake::NameThread(name);
        fake::Checkpoint("thread-start");
        entry(argument);
        fake::ThreadFinished();
        --fake::Session().threadsRunning;
    }).detach();
    return true;
}

void InitializeLock(LockStorage* lock) { new (lock->bytes) std::recursive_mutex; }
void EnterLock(LockStorage* lock) {
    fake::Checkpoint("set-lock");
    reinterpret_cast<std::recursive_mutex*>(lock->bytes)->lock();
}
void LeaveLock(LockStorage* lock) { reinterpret_cast<std::recursive_mutex*>(lock->bytes)->unlock(); }
static_assert(sizeof(std::recursive_mutex) <= sizeof(LockStorage::bytes));

void EnterApartment() {}
void LeaveApartment() { fake::Checkpoint("thread-end"); }

uint64_t CreateNotificationWindow(const char16_t*, const char16_t*, WindowMessageHandler handler) {
    if (fake::Session().windowCreationFails) return 0;
    fake::current = std::make_shared<fake::Window>();
    fake::current->handler = handler;
    {
        std::lock_guard<std::mutex> lock(fake::windowsMutex);
        fake::currentHandle = ++fake::nextWindow;
        fake::windows[fake::currentHandle] = fake::current;
    }
    fake::Session().lastWindow = fake::currentHandle;
    fake::Checkpoint("window-created");
    return fake::currentHandle;
}

void RunMessageLoop() {
    auto window = fake::current;
    for (fake::quit = false; window && !fake::quit;) {
        // In lockstep a thread with nothing to do parks here instead of
        // waiting for a message.
        fake::Checkpoint("message-loop");
        fake::Message message;
        {
            std::unique_lock<std::mutex> lock(window->mutex);
            if (window->queue.empty() && fake::InLockstep()) continue;
            window->arrived.wait(lock, [&] { return !window->queue.empty(); });
            message = window->queue.front();
            window->queue.pop_front();
        }
        window->handler(message.message, message.wParam, message.lParam);
    }
}

void PostQuit(int) { fake::quit = true; }

bool TakeWaitingMessage(uint64_t handle, uint32_t message, uint64_t wParam, uint64_t* lParam) {
    if (handle != fake::currentHandle || !fake::current) return false;
    std::lock_guard<std::mutex> lock(fake::current->mutex);
    auto& queue = fake::current->queue;
    auto it = std::find_if(queue.begin(), queue.end(), [&](const fake::Message& m) { return m.message == message; });
    if (it == queue.end() || it->wParam != wParam) return false;
    *lParam = it->lParam;
    queue.erase(it);
    return true;
}

void CloseNotificationWindow(uint64_t handle) {
    std::lock_guard<std::mutex> lock(fake::windowsMutex);
    fake::windows.erase(handle);
    fake::current.reset();
    fake::currentHandle = 0;
}

bool PostWindowMessage(uint64_t handle, uint32_t message, uint64_t wParam, uint64_t lParam) {
    fake::Checkpoint("post");
    if (message == kMessageCommand && wParam == 0x401) fake::Session().lastQuit = handle;
    auto window = fake::Find(handle);
    if (!window) return false;
    std::lock_guard<std::mutex> lock(window->mutex);
    if (window->queue.size() >= fake::Session().queueCapacity) return false;
    window->queue.push_back({message, wParam, lParam});
    window->arrived.notify_one();
    return true;
}

bool WindowExists(uint64_t handle) {
    fake::Checkpoint("window-exists");
    return fake::Find(handle) != nullptr;
}

bool FindWindowOfClass(const char16_t*) {
    fake::Checkpoint("companion-lookup");
    ++fake::Session().companionLookups;
    return fake::Session().companionPresent;
}

bool ReadMachineRegistryString(const char16_t* subKey, const char16_t* value, char16_t* out, uint32_t outUnits) {
    auto it = fake::Session().registry.find({subKey, value});
    return it != fake::Session().registry.end() && fake::CopyOut(it->second.substr(0, outUnits - 1), out, outUnits);
}

bool ExecutablePath(char16_t* out, uint32_t outUnits) {
    return fake::CopyOut(fake::Session().executablePath, out, outUnits);
}

bool FileExists(const char16_t* path) { return fake::Session().files.count(path) != 0; }

void ShellOpen(const char16_t* file, const char16_t* directory) {
    fake::Session().launches.emplace_back(file, directory != nullptr ? directory : u"");
    if (fake::Session().companionAppearsOnLaunch) fake::Session().companionPresent = true;
}

}  // namespace os

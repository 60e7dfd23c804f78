#include "fakes/fake_session.h"

#include <condition_variable>
#include <deque>
#include <memory>
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
uint64_t lastWindow = 0;

thread_local std::shared_ptr<Window> current;
thread_local uint64_t currentHandle = 0;
thread_local bool quit = false;

std::shared_ptr<Window> Find(uint64_t handle) {
    std::lock_guard<std::mutex> lock(windowsMutex);
    auto it = windows.find(handle);
    return it == windows.end() ? nullptr : it->second;
}

}  // namespace

SessionState& Session() {
    static SessionState state;
    return state;
}

void SessionState::SetRegistry(const std::u16string& key, const std::u16string& value, const std::u16string& data) {
    std::lock_guard<std::mutex> lock(mutex);
    registry[{key, value}] = data;
}
void SessionState::SetExecutablePath(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(mutex);
    executablePath = path;
}
void SessionState::AddFile(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(mutex);
    files.insert(path);
}
std::vector<std::pair<std::u16string, std::u16string>> SessionState::Launches() {
    std::lock_guard<std::mutex> lock(mutex);
    return launches;
}
uint64_t SessionState::LastWindow() {
    std::lock_guard<std::mutex> lock(windowsMutex);
    return lastWindow;
}
bool SessionState::Post(uint64_t window, uint32_t message, uint64_t wParam, uint64_t lParam) {
    return os::PostWindowMessage(window, message, wParam, lParam);
}
void SessionState::Reset() {
    companionPresent = true;
    companionAppearsOnLaunch = false;
    windowCreationFails = false;
    threadCreationFails = false;
    windowsCreated = 0;
    threadsStarted = 0;
    companionLookups = 0;
    lastQuit = 0;
    std::lock_guard<std::mutex> lock(mutex);
    registry.clear();
    executablePath = u"C:\\Program Files\\Host\\host.exe";
    files.clear();
    launches.clear();
}

}  // namespace fake

namespace os {

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
    auto window = std::make_shared<fake::Window>();
    window->handler = handler;
    uint64_t handle;
    {
        std::lock_guard<std::mutex> lock(fake::windowsMutex);
        handle = ++fake::nextWindow;
        fake::windows[handle] = window;
        fake::lastWindow = handle;
    }
    fake::current = window;
    fake::currentHandle = handle;
    ++fake::Session().windowsCreated;
    fake::Checkpoint("window-created");
    return handle;
}

void RunMessageLoop() {
    auto window = fake::current;
    if (!window) return;
    fake::quit = false;
    while (!fake::quit) {
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
    fake::quit = false;
}

void PostQuit(int) { fake::quit = true; }

bool TakeWaitingMessage(uint64_t handle, uint32_t message, uint64_t wParam, uint64_t* lParam) {
    if (handle != fake::currentHandle || !fake::current) return false;
    std::lock_guard<std::mutex> lock(fake::current->mutex);
    auto& queue = fake::current->queue;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (it->message != message) continue;
        if (it->wParam != wParam) return false;
        *lParam = it->lParam;
        queue.erase(it);
        return true;
    }
    return false;
}

void CloseNotificationWindow(uint64_t handle) {
    std::lock_guard<std::mutex> lock(fake::windowsMutex);
    fake::windows.erase(handle);
    fake::current.reset();
    fake::currentHandle = 0;
}

bool PostWindowMessage(uint64_t handle, uint32_t message, uint64_t wParam, uint64_t lParam) {
    if (message == kMessageCommand && wParam == 0x401) fake::Session().lastQuit = handle;
    auto window = fake::Find(handle);
    if (!window) return false;
    {
        std::lock_guard<std::mutex> lock(window->mutex);
        window->queue.push_back({message, wParam, lParam});
    }
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
    auto& state = fake::Session();
    std::lock_guard<std::mutex> lock(state.mutex);
    auto it = state.registry.find({subKey, value});
    if (it == state.registry.end() || it->second.empty()) return false;
    const size_t n = std::min<size_t>(it->second.size(), outUnits - 1);
    std::copy(it->second.begin(), it->second.begin() + static_cast<long>(n), out);
    out[n] = 0;
    return true;
}

bool ExecutablePath(char16_t* out, uint32_t outUnits) {
    auto& state = fake::Session();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.executablePath.empty() || state.executablePath.size() + 1 > outUnits) return false;
    std::copy(state.executablePath.begin(), state.executablePath.end(), out);
    out[state.executablePath.size()] = 0;
    return true;
}

bool FileExists(const char16_t* path) {
    auto& state = fake::Session();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.files.count(path) != 0;
}

void ShellOpen(const char16_t* file, const char16_t* directory) {
    auto& state = fake::Session();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.launches.emplace_back(file, directory != nullptr ? directory : u"");
    }
    if (state.companionAppearsOnLaunch) state.companionPresent = true;
}

}  // namespace os

// POSIX stand-ins for threads, the notification window, the companion
// window and launching. A window is a SOCK_DGRAM endpoint bound at
// D/LMVX_Window_<handle>; a posted message is one 24-byte datagram
// (u32 message, u32 zero, u64 wParam, u64 lParam, little-endian). A window
// class C is "present" while D/LMVX_Class_<C> accepts connect().
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>

#include "os/os.h"
#include "os/posix/posix_paths.h"
#include "os/posix/posix_platform.h"

extern char** environ;

namespace os {
namespace {

struct Message {
    uint32_t message;
    uint64_t wParam;
    uint64_t lParam;
};
constexpr size_t kDatagramSize = 24;

// The calling thread's window: one per thread, as the library uses it.
struct ThreadWindow {
    int fd = -1;
    uint64_t handle = 0;
    WindowMessageHandler handler = nullptr;
    std::string path;
    std::deque<Message> queue;  // received, not yet dispatched
    bool quit = false;
};
thread_local ThreadWindow current;

std::atomic<uint32_t> windowCounter{0};

bool FillAddress(const std::string& path, sockaddr_un* address) {
    if (path.empty() || path.size() >= sizeof address->sun_path) return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string WindowPath(uint64_t handle) {
    return posix::RuntimeDir() + "/LMVX_Window_" + std::to_string(handle);
}

// Whether a datagram endpoint is bound at `path`.
bool EndpointAccepts(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, &address)) return false;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

bool Decode(const uint8_t* bytes, Message* message) {
    uint32_t zero;
    std::memcpy(&message->message, bytes, 4);
    std::memcpy(&zero, bytes + 4, 4);
    std::memcpy(&message->wParam, bytes + 8, 8);
    std::memcpy(&message->lParam, bytes + 16, 8);
    return zero == 0;
}

// Receives one message into the thread's queue. False when none could be
// received (nothing waiting, without blocking; or the endpoint failed).
bool ReceiveOne(bool block) {
    uint8_t bytes[kDatagramSize + 1];
    for (;;) {
        const ssize_t n = recv(current.fd, bytes, sizeof bytes, block ? 0 : MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        Message message;
        if (n == static_cast<ssize_t>(kDatagramSize) && Decode(bytes, &message)) {
            current.queue.push_back(message);
            return true;
        }
        // Not a message of this protocol: dropped.
    }
}

struct ThreadStart {
    void (*entry)(void*);
    void* argument;
};

void* ThreadMain(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.entry(start.argument);
    return nullptr;
}

bool Spawn(const std::string& program, const char* argument) {
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument), nullptr};
    pid_t pid;
    return posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) == 0;
}

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return false;
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool StartDetachedThread(void (*entry)(void*), void* argument) {
    ThreadStart* start = new (std::nothrow) ThreadStart{entry, argument};
    if (start == nullptr) return false;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool ok = pthread_create(&thread, &attributes, ThreadMain, start) == 0;
    pthread_attr_destroy(&attributes);
    if (!ok) delete start;
    return ok;
}

static_assert(sizeof(pthread_mutex_t) <= sizeof(LockStorage::bytes) && alignof(pthread_mutex_t) <= 16);

void InitializeLock(LockStorage* lock) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(lock->bytes), &attributes);
    pthread_mutexattr_destroy(&attributes);
}
void EnterLock(LockStorage* lock) { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(lock->bytes)); }
void LeaveLock(LockStorage* lock) { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(lock->bytes)); }

void EnterApartment() {}
void LeaveApartment() {}

uint64_t CreateNotificationWindow(const char16_t*, const char16_t*, WindowMessageHandler handler) {
    if (current.fd >= 0 || handler == nullptr) return 0;
    const uint64_t handle = (static_cast<uint64_t>(getpid()) << 24) | (windowCounter.fetch_add(1) + 1);
    const std::string path = WindowPath(handle);
    sockaddr_un address;
    if (!FillAddress(path, &address)) return 0;
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    unlink(path.c_str());  // a stale endpoint of a dead process with the same pid
    // Only this user may post to the window.
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || chmod(path.c_str(), 0600) != 0) {
        close(fd);
        unlink(path.c_str());
        return 0;
    }
    current = ThreadWindow{};
    current.fd = fd;
    current.handle = handle;
    current.handler = handler;
    current.path = path;
    return handle;
}

void RunMessageLoop() {
    if (current.fd < 0) return;
    while (!current.quit) {
        if (current.queue.empty() && !ReceiveOne(true)) break;
        const Message message = current.queue.front();
        current.queue.pop_front();
        current.handler(message.message, message.wParam, message.lParam);
    }
    current.quit = false;
}

void PostQuit(int) { current.quit = true; }

bool TakeWaitingMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t* lParam) {
    if (current.fd < 0 || window != current.handle) return false;
    while (ReceiveOne(false)) {
    }
    for (auto it = current.queue.begin(); it != current.queue.end(); ++it) {
        if (it->message != message) continue;
        if (it->wParam != wParam) return false;
        *lParam = it->lParam;
        current.queue.erase(it);
        return true;
    }
    return false;
}

void CloseNotificationWindow(uint64_t window) {
    if (current.fd < 0 || window != current.handle) return;
    close(current.fd);
    unlink(current.path.c_str());
    current = ThreadWindow{};
}

bool PostWindowMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t lParam) {
    sockaddr_un address;
    if (window == 0 || !FillAddress(WindowPath(window), &address)) return false;
    uint8_t bytes[kDatagramSize] = {};
    std::memcpy(bytes, &message, 4);
    std::memcpy(bytes + 8, &wParam, 8);
    std::memcpy(bytes + 16, &lParam, 8);
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = sendto(fd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&address), sizeof address) ==
                    static_cast<ssize_t>(sizeof bytes);
    close(fd);
    return ok;
}

bool WindowExists(uint64_t window) { return window != 0 && EndpointAccepts(WindowPath(window)); }

bool FindWindowOfClass(const char16_t* className) {
    return EndpointAccepts(posix::RuntimeDir() + "/LMVX_Class_" + posix::ToUtf8(className));
}

bool ReadMachineRegistryString(const char16_t*, const char16_t*, char16_t* out, uint32_t outUnits) {
    if (out != nullptr && outUnits != 0) out[0] = 0;
    return false;  // no registry here: the path falls back to the host's folder
}

bool ExecutablePath(char16_t* out, uint32_t outUnits) {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0 || outUnits == 0) return false;
    path[n] = 0;
    // In Windows form ("\usr\bin\host"), which the file operations map back.
    const std::u16string wide = posix::FromUtf8(path);
    if (wide.size() + 1 > outUnits) return false;
    for (size_t i = 0; i < wide.size(); ++i) out[i] = wide[i] == u'/' ? u'\\' : wide[i];
    out[wide.size()] = 0;
    return true;
}

bool FileExists(const char16_t* path) {
    struct stat info;
    const std::string mapped = posix::MapWindowsPath(path);
    return !mapped.empty() && stat(mapped.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void ShellOpen(const char16_t* file, const char16_t*) {
    const std::string target = posix::ToUtf8(file);
    if (target.find("://") != std::string::npos) {
        if (OnPath("xdg-open")) Spawn("xdg-open", target.c_str());
        return;
    }
    const std::string program = posix::MapWindowsPath(file);
    if (!program.empty() && program.find('/') != std::string::npos) Spawn(program, nullptr);
}

}  // namespace os

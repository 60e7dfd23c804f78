// POSIX stand-ins for threads, the notification window, the companion
// window and launching. A window is a SOCK_DGRAM endpoint bound at
// D/LMVX_Window_<handle>; a posted message is one 24-byte datagram
// (u32 message, u32 zero, u64 wParam, u64 lParam, little-endian). A window
// class C is "present" while D/LMVX_Class_<C> accepts connect().
//
// As a Windows thread's message queue does, each window keeps its waiting
// messages in the process: a reader thread moves them out of the socket
// (whose kernel queue holds only about ten) while the window's thread runs
// its handler, so posting never waits on the handler.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
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
// As many as a Windows thread's queue holds; past that a post fails.
constexpr size_t kQueueCapacity = 10000;
// How long a post waits for room in the window's socket. Its reader drains
// the socket until the queue is full, so only a full queue (or a window
// whose process has stopped) makes the wait run out.
constexpr time_t kPostWaitSeconds = 1;

struct Window {
    int fd = -1;
    uint64_t handle = 0;
    WindowMessageHandler handler = nullptr;
    std::string path;
    pthread_t reader{};
    bool quit = false;  // the window's thread only
    std::mutex lock;
    std::condition_variable changed;  // a message arrived, room was made, or closing
    std::deque<Message> queue;        // received, not yet dispatched (lock)
    bool closing = false;             // (lock)
};
// The calling thread's window: one per thread, as the library uses it.
thread_local Window* current = nullptr;

std::atomic<uint32_t> windowCounter{0};
// Windows of this process whose endpoint may still be bound, and whether the
// process is ending: a window's thread may outlive Stop, and the process
// then ends before it has removed its endpoint.
std::atomic<uint32_t> openWindows{0};
std::atomic<bool> processEnding{false};

uint64_t WindowHandle(uint32_t n) { return (static_cast<uint64_t>(getpid()) << 24) | n; }

bool FillAddress(const std::string& path, sockaddr_un* address) {
    if (path.empty() || path.size() >= sizeof address->sun_path) return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

std::string WindowPath(uint64_t handle) { return posix::EndpointPath("LMVX_Window_" + std::to_string(handle)); }

// Run when the process ends (and when the library is unloaded, with no window
// left then): removes the endpoints of this process's windows that are still
// bound. Every name carrying this process's id is its own (or a dead
// process's with the same id), never a live window of another process.
// Touches only atomics and the file system: other static state may be gone.
__attribute__((destructor)) void RemoveOpenWindowEndpoints() {
    processEnding = true;
    if (openWindows.load() == 0) return;
    const uint32_t last = windowCounter.load();
    for (uint32_t n = 1; n <= last; ++n) unlink(WindowPath(WindowHandle(n)).c_str());
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

// Moves what waits in the socket to the queue, while there is room, without
// blocking. Called with the window's lock held and never after the window
// began closing: every receive happens under the lock, so the queue keeps
// the order in which messages were posted.
void Drain(Window* window) {
    uint8_t bytes[kDatagramSize + 1];
    while (window->queue.size() < kQueueCapacity) {
        const ssize_t n = recv(window->fd, bytes, sizeof bytes, MSG_DONTWAIT);
        if (n < 0) return;
        Message message;
        // Anything else is not a message of this protocol: dropped.
        if (n == static_cast<ssize_t>(kDatagramSize) && Decode(bytes, &message)) window->queue.push_back(message);
    }
}

void* ReadWindow(void* argument) {
    Window* window = static_cast<Window*>(argument);
    std::unique_lock<std::mutex> hold(window->lock);
    for (;;) {
        window->changed.wait(hold, [window] { return window->closing || window->queue.size() < kQueueCapacity; });
        if (window->closing) return nullptr;
        hold.unlock();
        pollfd readable{window->fd, POLLIN, 0};
        poll(&readable, 1, -1);  // the shutdown() at close wakes it
        hold.lock();
        if (window->closing) return nullptr;
        Drain(window);
        window->changed.notify_all();
    }
}

// Holds the reference that a notification thread keeps on this library:
// its destructor, run by the C library once the thread's own code has
// returned, is dlclose itself, so the last reference can go without any
// code of the library left to run.
pthread_key_t libraryReferenceKey;
bool libraryReferenceKeyReady = false;

// The loader's lock orders one load's finalisation, which may now run on a
// notification thread, before the next load's initialisation. Thread
// sanitizer does not see that lock; these tell it (on an address that
// outlives every load).
#if defined(__SANITIZE_THREAD__)
#define LMVX_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LMVX_TSAN 1
#endif
#endif
#ifdef LMVX_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

// First of the library's initialisers, last of its finalisers.
__attribute__((constructor(101))) void CreateLibraryReferenceKey() {
#ifdef LMVX_TSAN
    __tsan_acquire(&environ);
#endif
    // dlclose returns an int the C library does not look at.
    const auto release = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void (*)()>(&dlclose));
    libraryReferenceKeyReady = pthread_key_create(&libraryReferenceKey, release) == 0;
}
__attribute__((destructor(101))) void DeleteLibraryReferenceKey() {
    if (libraryReferenceKeyReady) pthread_key_delete(libraryReferenceKey);
#ifdef LMVX_TSAN
    __tsan_release(&environ);
#endif
}

struct ThreadStart {
    void (*entry)(void*);
    void* argument;
    void* library;  // a dlopen reference, or null when this code is not in one
};

void* ThreadMain(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    if (start.library != nullptr) pthread_setspecific(libraryReferenceKey, start.library);
    start.entry(start.argument);
    return nullptr;
}

// Starts `path` (with `argument`, if any) as a grandchild: the child forks
// it and ends at once, and only that child is waited for, so nothing is
// left to reap and the host's own children and SIGCHLD handling are not
// touched. The child makes only async-signal-safe calls.
void Spawn(const std::string& path, const char* argument) {
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(argument), nullptr};
    const pid_t child = fork();
    if (child == 0) {
        if (fork() == 0) {
            execve(argv[0], argv, environ);
            _exit(127);
        }
        _exit(0);
    }
    if (child < 0) return;
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// The full path of `program` in PATH; empty when it is not there.
std::string FindOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) return {};
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace

// The C library drops the handler when this library is unloaded.
void WhenForked(void (*reset)()) { pthread_atfork(nullptr, nullptr, reset); }

bool StartDetachedThread(void (*entry)(void*), void* argument) {
    // A reference on the library holding this code, taken before the thread
    // exists, so that a dlclose by the host cannot unmap it under the thread.
    Dl_info self{};
    void* library = nullptr;
    if (dladdr(reinterpret_cast<void*>(&ThreadMain), &self) != 0 && self.dli_fname != nullptr)
        library = dlopen(self.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (library != nullptr && !libraryReferenceKeyReady) {
        dlclose(library);
        return false;
    }
    ThreadStart* start = new (std::nothrow) ThreadStart{entry, argument, library};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool ok = start != nullptr && pthread_create(&thread, &attributes, ThreadMain, start) == 0;
    pthread_attr_destroy(&attributes);
    if (!ok) {
        delete start;
        if (library != nullptr) dlclose(library);
    }
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
    if (current != nullptr || handler == nullptr) return 0;
    ++openWindows;  // counted before it is numbered: the end of the process reads them in that order
    const uint64_t handle = WindowHandle(windowCounter.fetch_add(1) + 1);
    const std::string path = WindowPath(handle);
    sockaddr_un address;
    const int fd = FillAddress(path, &address) ? socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0) : -1;
    if (fd < 0) {
        --openWindows;
        return 0;
    }
    unlink(path.c_str());  // a stale endpoint of a dead process with the same pid
    Window* window = nullptr;
    // Only this user may post to the window. A process that began ending may
    // have looked for endpoints before this one was bound.
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && chmod(path.c_str(), 0600) == 0 &&
        !processEnding.load())
        window = new (std::nothrow) Window;
    if (window != nullptr) {
        window->fd = fd;
        window->handle = handle;
        window->handler = handler;
        window->path = path;
        if (pthread_create(&window->reader, nullptr, ReadWindow, window) == 0) {
            current = window;
            return handle;
        }
        delete window;
    }
    close(fd);
    unlink(path.c_str());
    --openWindows;
    return 0;
}

void RunMessageLoop() {
    Window* window = current;
    if (window == nullptr) return;
    while (!window->quit) {
        Message message;
        {
            std::unique_lock<std::mutex> hold(window->lock);
            window->changed.wait(hold, [window] { return !window->queue.empty(); });
            message = window->queue.front();
            window->queue.pop_front();
        }
        window->changed.notify_all();  // room for the reader
        window->handler(message.message, message.wParam, message.lParam);
    }
    window->quit = false;
}

void PostQuit(int) {
    if (current != nullptr) current->quit = true;
}

bool TakeWaitingMessage(uint64_t window, uint32_t message, uint64_t wParam, uint64_t* lParam) {
    Window* own = current;
    if (own == nullptr || window != own->handle) return false;
    std::lock_guard<std::mutex> hold(own->lock);
    Drain(own);  // everything posted before this call is seen
    for (auto it = own->queue.begin(); it != own->queue.end(); ++it) {
        if (it->message != message) continue;
        if (it->wParam != wParam) return false;
        *lParam = it->lParam;
        own->queue.erase(it);
        return true;
    }
    return false;
}

void CloseNotificationWindow(uint64_t window) {
    Window* own = current;
    if (own == nullptr || window != own->handle) return;
    unlink(own->path.c_str());  // no new posts
    {
        std::lock_guard<std::mutex> hold(own->lock);
        own->closing = true;
    }
    own->changed.notify_all();
    shutdown(own->fd, SHUT_RDWR);
    pthread_join(own->reader, nullptr);
    close(own->fd);
    delete own;
    current = nullptr;
    --openWindows;
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
    const timeval wait{kPostWaitSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    ssize_t sent;
    do {
        sent = sendto(fd, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
    } while (sent < 0 && errno == EINTR);
    close(fd);
    return sent == static_cast<ssize_t>(sizeof bytes);
}

bool WindowExists(uint64_t window) { return window != 0 && EndpointAccepts(WindowPath(window)); }

bool FindWindowOfClass(const char16_t* className) {
    return EndpointAccepts(posix::EndpointPath("LMVX_Class_" + posix::ToUtf8(className)));
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
        const std::string opener = FindOnPath("xdg-open");
        if (!opener.empty()) Spawn(opener, target.c_str());
        return;
    }
    const std::string program = posix::MapWindowsPath(file);
    if (!program.empty() && program.find('/') != std::string::npos) Spawn(program, nullptr);
}

}  // namespace os

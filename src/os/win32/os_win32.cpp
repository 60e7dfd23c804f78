// Windows backend of the service link and the threads: one CallNamedPipeW
// per transaction, the session of this process, Crypt32's memory protection
// loaded at run time from the system folder only, detached threads that keep
// this module loaded, critical sections and the thread's COM apartment.
#include <atomic>
#include <cstring>
#include <new>

#include "os/os.h"
#include "os/win32/win32.h"

#include <objbase.h>

namespace os {
namespace {

using win32::DropLastError;
using win32::Wide;

// ---- Crypt32 ------------------------------------------------------------------

constexpr DWORD kCrossProcess = 1;  // CRYPTPROTECTMEMORY_CROSS_PROCESS
constexpr uint32_t kProtectionBlock = 16;

using ProtectProc = BOOL(WINAPI*)(LPVOID data, DWORD size, DWORD flags);

// Resolved on first use and kept for the life of the process; a failed
// resolution is tried again on the next call. Two first calls racing each
// load the library once more, which only raises its reference count.
std::atomic<ProtectProc> protectProc{nullptr};
std::atomic<ProtectProc> unprotectProc{nullptr};

ProtectProc Resolve(HMODULE module, const char* name) {
    const FARPROC proc = GetProcAddress(module, name);
    if (proc == nullptr) DropLastError();
    return reinterpret_cast<ProtectProc>(reinterpret_cast<void (*)()>(proc));
}

ProtectProc CryptProcedure(bool protect) {
    ProtectProc proc = (protect ? protectProc : unprotectProc).load(std::memory_order_acquire);
    if (proc != nullptr) return proc;
    // From the system folder only: a Crypt32.dll planted beside the host is
    // never loaded.
    HMODULE module = LoadLibraryExW(L"Crypt32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        DropLastError();
        return nullptr;
    }
    const ProtectProc protectFound = Resolve(module, "CryptProtectMemory");
    const ProtectProc unprotectFound = Resolve(module, "CryptUnprotectMemory");
    if (protectFound == nullptr || unprotectFound == nullptr) {
        FreeLibrary(module);
        return nullptr;
    }
    protectProc.store(protectFound, std::memory_order_release);
    unprotectProc.store(unprotectFound, std::memory_order_release);
    return protect ? protectFound : unprotectFound;
}

bool Crypt(void* data, uint32_t size, bool protect) {
    if (data == nullptr || size == 0 || size % kProtectionBlock != 0) return false;
    const ProtectProc proc = CryptProcedure(protect);
    if (proc == nullptr) return false;
    if (!proc(data, size, kCrossProcess)) {
        DropLastError();
        return false;
    }
    return true;
}

// ---- Threads ------------------------------------------------------------------

struct ThreadStart {
    void (*entry)(void*);
    void* argument;
    HMODULE module;  // the reference that keeps this module mapped
};

// Exit code of every detached thread.
constexpr DWORD kThreadExitCode = 1;

DWORD WINAPI ThreadMain(LPVOID raw) {
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.entry(start.argument);
    // Drops the thread's reference and ends the thread without returning into
    // code that the release may have unmapped.
    FreeLibraryAndExitThread(start.module, kThreadExitCode);
    return kThreadExitCode;  // not reached
}

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(LockStorage::bytes) &&
              alignof(CRITICAL_SECTION) <= alignof(LockStorage));

CRITICAL_SECTION* Section(LockStorage* lock) { return reinterpret_cast<CRITICAL_SECTION*>(lock->bytes); }

// Whether this thread's CoInitializeEx succeeded, so that only a successful
// one is balanced by CoUninitialize.
thread_local bool apartmentEntered = false;

}  // namespace

bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t waitMs) {
    if (name == nullptr || request == nullptr || reply == nullptr || received == nullptr) return false;
    DWORD read = 0;
    // A reply longer than the capacity fails with ERROR_MORE_DATA.
    if (!CallNamedPipeW(Wide(name), const_cast<void*>(request), requestSize, reply, replyCapacity, &read, waitMs)) {
        DropLastError();
        return false;
    }
    *received = read;
    return true;
}

bool QuerySessionId(uint32_t* sessionId) {
    DWORD id = 0;
    if (sessionId == nullptr || !ProcessIdToSessionId(GetCurrentProcessId(), &id)) {
        DropLastError();
        return false;
    }
    *sessionId = id;
    return true;
}

bool ProtectMemory(void* data, uint32_t size) { return Crypt(data, size, true); }
bool UnprotectMemory(void* data, uint32_t size) { return Crypt(data, size, false); }

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

void WhenForked(void (*)()) {}  // Windows processes do not fork

bool StartDetachedThread(void (*entry)(void*), void* argument) {
    if (entry == nullptr) return false;
    HMODULE module = nullptr;
    // A reference on the module holding this code, taken before the thread
    // exists, so that a FreeLibrary by the host cannot unmap it under the
    // running thread.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(reinterpret_cast<const void*>(&ThreadMain)), &module)) {
        DropLastError();
        return false;
    }
    ThreadStart* start = new (std::nothrow) ThreadStart{entry, argument, module};
    if (start == nullptr) {
        FreeLibrary(module);
        return false;
    }
    HANDLE thread = CreateThread(nullptr, 0, ThreadMain, start, 0, nullptr);
    if (thread == nullptr) {
        DropLastError();
        delete start;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}

void InitializeLock(LockStorage* lock) { InitializeCriticalSection(Section(lock)); }
void EnterLock(LockStorage* lock) { EnterCriticalSection(Section(lock)); }
void LeaveLock(LockStorage* lock) { LeaveCriticalSection(Section(lock)); }

void EnterApartment() {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    apartmentEntered = SUCCEEDED(result);  // S_FALSE (already initialised) also needs its balance
}

void LeaveApartment() {
    if (!apartmentEntered) return;
    apartmentEntered = false;
    CoUninitialize();
}

}  // namespace os

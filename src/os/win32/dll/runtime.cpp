// The DLL's own pieces of the C++ runtime: the global allocation functions,
// on the C runtime's heap, and the guards of function-local statics. The
// static C++ runtime's versions are built with exceptions and bring the
// unwinder, whose symbols are marked for export and would join the export
// table. Linked into LMVX.dll only.
//
// The library is built without exceptions: an allocation that cannot be
// satisfied ends the process as an uncaught std::bad_alloc would, and the
// nothrow forms return null.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <malloc.h>

namespace {

void* Allocate(std::size_t size) noexcept { return std::malloc(size != 0 ? size : 1); }

void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    return _aligned_malloc(size != 0 ? size : 1, static_cast<std::size_t>(alignment));
}

void* AllocateOrAbort(std::size_t size) noexcept {
    void* memory = Allocate(size);
    if (memory == nullptr) std::abort();
    return memory;
}

void* AllocateAlignedOrAbort(std::size_t size, std::align_val_t alignment) noexcept {
    void* memory = AllocateAligned(size, alignment);
    if (memory == nullptr) std::abort();
    return memory;
}

}  // namespace

// The tag object of the nothrow forms: defined here too, since the runtime's
// definition comes with its throwing allocator.
namespace std {
const nothrow_t nothrow{};
}  // namespace std

void* operator new(std::size_t size) { return AllocateOrAbort(size); }
void* operator new[](std::size_t size) { return AllocateOrAbort(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateAlignedOrAbort(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateAlignedOrAbort(size, alignment); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void operator delete(void* memory, std::align_val_t) noexcept { _aligned_free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { _aligned_free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { _aligned_free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { _aligned_free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { _aligned_free(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { _aligned_free(memory); }

// Guards of function-local statics (Itanium C++ ABI): byte 0 of the guard is
// set once the object is built, byte 1 while a thread builds it. Concurrent
// first callers wait until the builder has finished or given up.
namespace {
SRWLOCK guardLock = SRWLOCK_INIT;
CONDITION_VARIABLE guardChanged = CONDITION_VARIABLE_INIT;

uint8_t* GuardBytes(uint64_t* guard) { return reinterpret_cast<uint8_t*>(guard); }
}  // namespace

extern "C" int __cxa_guard_acquire(uint64_t* guard) {
    uint8_t* bytes = GuardBytes(guard);
    if (__atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE) != 0) return 0;
    AcquireSRWLockExclusive(&guardLock);
    while (bytes[1] != 0) SleepConditionVariableSRW(&guardChanged, &guardLock, INFINITE, 0);
    const bool build = __atomic_load_n(&bytes[0], __ATOMIC_ACQUIRE) == 0;
    if (build) bytes[1] = 1;
    ReleaseSRWLockExclusive(&guardLock);
    return build ? 1 : 0;
}

extern "C" void __cxa_guard_release(uint64_t* guard) {
    uint8_t* bytes = GuardBytes(guard);
    AcquireSRWLockExclusive(&guardLock);
    __atomic_store_n(&bytes[0], 1, __ATOMIC_RELEASE);
    bytes[1] = 0;
    ReleaseSRWLockExclusive(&guardLock);
    WakeAllConditionVariable(&guardChanged);
}

extern "C" void __cxa_guard_abort(uint64_t* guard) {
    AcquireSRWLockExclusive(&guardLock);
    GuardBytes(guard)[1] = 0;
    ReleaseSRWLockExclusive(&guardLock);
    WakeAllConditionVariable(&guardChanged);
}

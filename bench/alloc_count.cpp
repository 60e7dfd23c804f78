#include "alloc_count.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <cstddef>
#include <new>

// glibc's own entry points: the replacements below forward to them, so every
// allocation of the process (libraries included, since the program's
// definitions take precedence) passes through one counter per thread.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* pointer);
}

namespace {
// Initial-exec TLS of the program itself: reading it never allocates.
__thread uint64_t threadHeap;
__thread uint64_t threadNews;

void* CountedNew(size_t size) {
    ++threadNews;
    ++threadHeap;
    return __libc_malloc(size == 0 ? 1 : size);
}
void* CountedAlignedNew(size_t size, std::align_val_t alignment) {
    ++threadNews;
    ++threadHeap;
    return __libc_memalign(static_cast<size_t>(alignment), size == 0 ? 1 : size);
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
    ++threadHeap;
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    ++threadHeap;
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    if (pointer == nullptr) ++threadHeap;
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
void* memalign(size_t alignment, size_t size) {
    ++threadHeap;
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size) {
    void* pointer = memalign(alignment, size);
    if (pointer == nullptr) return 12;  // ENOMEM
    *out = pointer;
    return 0;
}
}

// Never null: the benchmark process does not run out of memory, and the
// library uses the nothrow forms, which share these.
void* operator new(size_t size) { return CountedNew(size); }
void* operator new[](size_t size) { return CountedNew(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return CountedNew(size); }
void* operator new(size_t size, std::align_val_t alignment) { return CountedAlignedNew(size, alignment); }
void* operator new[](size_t size, std::align_val_t alignment) { return CountedAlignedNew(size, alignment); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return CountedAlignedNew(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return CountedAlignedNew(size, alignment);
}
void operator delete(void* pointer) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete(void* pointer, size_t, std::align_val_t) noexcept { __libc_free(pointer); }
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept { __libc_free(pointer); }

namespace benchalloc {
bool Available() { return true; }
Counts ThreadCounts() { return {threadHeap, threadNews}; }
}  // namespace benchalloc

#else

namespace benchalloc {
bool Available() { return false; }
Counts ThreadCounts() { return {}; }
}  // namespace benchalloc

#endif

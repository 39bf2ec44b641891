#include "host/RenderProbe.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <dlfcn.h>
#include <pthread.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ZERUB_PROBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define ZERUB_PROBE_SANITIZED 1
#endif
#endif

namespace {

// Initial-exec TLS: reading it never allocates, which an allocator hook needs.
__attribute__((tls_model("initial-exec"))) thread_local bool armed = false;
// Only the armed thread writes these, and only one thread is armed at a time.
renderprobe::Counts counts;

} // namespace

namespace renderprobe {

void Arm() {
    counts = Counts();
    armed = true;
}

void Disarm() {
    armed = false;
}

Counts Read() {
    return counts;
}

Pause::Pause() : wasArmed(armed) {
    armed = false;
}

Pause::~Pause() {
    armed = wasArmed;
}

} // namespace renderprobe

#ifdef ZERUB_PROBE_SANITIZED

// The sanitizer runtime provides hooks that see every allocation; locks go uncounted, since its
// own interceptors own pthread_mutex_lock.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));

namespace {
void OnAllocate(const volatile void*, size_t) {
    if (armed) ++counts.allocations;
}
void OnFree(const volatile void*) {
    if (armed) ++counts.frees;
}
const int installed = __sanitizer_install_malloc_and_free_hooks(OnAllocate, OnFree);
} // namespace

namespace renderprobe {
bool AllocationsCounted() {
    return installed != 0;
}
bool LocksCounted() {
    return false;
}
} // namespace renderprobe

#else

// glibc's own entry points behind the interposed ones.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void __libc_free(void*);
}

namespace {

using LockFunction = int (*)(pthread_mutex_t*);
LockFunction realLock = nullptr;
LockFunction realTryLock = nullptr;

// Resolved before main, while one thread runs.
__attribute__((constructor)) void ResolveLocks() {
    realLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    realTryLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
}

void CountAllocation() {
    if (armed) ++counts.allocations;
}

void RecordMutex(const void* mutex) {
    for (int i = 0; i < counts.mutexes; ++i)
        if (counts.mutex[i] == mutex) {
            ++counts.taken[i];
            return;
        }
    if (counts.mutexes < renderprobe::kMaxMutexes) {
        counts.mutex[counts.mutexes] = mutex;
        counts.taken[counts.mutexes++] = 1;
    } else {
        ++counts.unrecorded;
    }
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void* malloc(size_t size) {
    CountAllocation();
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void* calloc(size_t n, size_t size) {
    CountAllocation();
    return __libc_calloc(n, size);
}

__attribute__((visibility("default"))) void* realloc(void* p, size_t size) {
    CountAllocation();
    return __libc_realloc(p, size);
}

__attribute__((visibility("default"))) void* memalign(size_t alignment, size_t size) {
    CountAllocation();
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* aligned_alloc(size_t alignment, size_t size) {
    CountAllocation();
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* valloc(size_t size) {
    CountAllocation();
    return __libc_valloc(size);
}

__attribute__((visibility("default"))) int posix_memalign(void** out, size_t alignment,
                                                          size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    CountAllocation();
    void* p = __libc_memalign(alignment, size);
    if (!p && size != 0) return ENOMEM;
    *out = p;
    return 0;
}

__attribute__((visibility("default"))) void free(void* p) {
    if (armed && p) ++counts.frees;
    __libc_free(p);
}

__attribute__((visibility("default"))) int pthread_mutex_lock(pthread_mutex_t* mutex) {
    if (armed) RecordMutex(mutex);
    if (!realLock) ResolveLocks();
    return realLock(mutex);
}

__attribute__((visibility("default"))) int pthread_mutex_trylock(pthread_mutex_t* mutex) {
    if (armed) RecordMutex(mutex);
    if (!realTryLock) ResolveLocks();
    return realTryLock(mutex);
}

} // extern "C"

namespace renderprobe {
bool AllocationsCounted() {
    return true;
}
bool LocksCounted() {
    return realLock != nullptr && realTryLock != nullptr;
}
} // namespace renderprobe

#endif

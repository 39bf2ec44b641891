#include "host/RenderProbe.h"

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

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

// The sanitizer runtime provides hooks that see every allocation; locks and the other calls go
// uncounted, since its own interceptors own them.
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
bool CallsCounted() {
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

// The calls a real-time thread must not make besides allocating and locking: each waits, sleeps,
// maps memory or does I/O, and so may block for as long as the system likes.
enum Call {
    kRwlockRead,
    kRwlockWrite,
    kRwlockTryRead,
    kRwlockTryWrite,
    kRwlockTimedRead,
    kRwlockTimedWrite,
    kSemWait,
    kSemTimedWait,
    kNanosleep,
    kClockNanosleep,
    kUsleep,
    kSleep,
    kMmap,
    kMmap64,
    kMunmap,
    kOpen,
    kOpen64,
    kOpenat,
    kFopen,
    kFopen64,
    kRead,
    kWrite,
    kSocket,
    kConnect,
    kAccept,
    kSend,
    kSendto,
    kRecv,
    kRecvfrom,
    kCallCount
};

struct Next {
    const char* name;
    void* address; // libc's definition
};

Next next[kCallCount] = {
    {"pthread_rwlock_rdlock", nullptr},
    {"pthread_rwlock_wrlock", nullptr},
    {"pthread_rwlock_tryrdlock", nullptr},
    {"pthread_rwlock_trywrlock", nullptr},
    {"pthread_rwlock_timedrdlock", nullptr},
    {"pthread_rwlock_timedwrlock", nullptr},
    {"sem_wait", nullptr},
    {"sem_timedwait", nullptr},
    {"nanosleep", nullptr},
    {"clock_nanosleep", nullptr},
    {"usleep", nullptr},
    {"sleep", nullptr},
    {"mmap", nullptr},
    {"mmap64", nullptr},
    {"munmap", nullptr},
    {"open", nullptr},
    {"open64", nullptr},
    {"openat", nullptr},
    {"fopen", nullptr},
    {"fopen64", nullptr},
    {"read", nullptr},
    {"write", nullptr},
    {"socket", nullptr},
    {"connect", nullptr},
    {"accept", nullptr},
    {"send", nullptr},
    {"sendto", nullptr},
    {"recv", nullptr},
    {"recvfrom", nullptr},
};

// Resolved before main, while one thread runs (and on first use, for calls made earlier).
__attribute__((constructor)) void ResolveLocks() {
    realLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    realTryLock = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
    for (Next& n : next)
        n.address = dlsym(RTLD_NEXT, n.name);
}

void RecordCall(Call c) {
    const char* name = next[c].name;
    for (int i = 0; i < counts.calls; ++i)
        if (counts.call[i] == name) {
            ++counts.made[i];
            return;
        }
    if (counts.calls < renderprobe::kMaxCalls) {
        counts.call[counts.calls] = name;
        counts.made[counts.calls++] = 1;
    }
}

// libc's definition of c, counted when the thread is armed; null when there is none.
template <class F>
F Forward(Call c) {
    if (armed) RecordCall(c);
    if (!next[c].address) next[c].address = dlsym(RTLD_NEXT, next[c].name);
    return reinterpret_cast<F>(next[c].address);
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

// Each forwards to libc's definition; a call libc lacks fails as unsupported.
#define ZERUB_PROBE_FORWARD(call, result, failed, name, params, args)                              \
    __attribute__((visibility("default"))) result name params {                                    \
        using Function = result(*) params; /* NOLINT(bugprone-macro-parentheses): a list */        \
        const Function libc = Forward<Function>(call);                                             \
        if (!libc) {                                                                               \
            errno = ENOSYS;                                                                        \
            return failed;                                                                         \
        }                                                                                          \
        return libc args;                                                                          \
    }

ZERUB_PROBE_FORWARD(kRwlockRead, int, ENOSYS, pthread_rwlock_rdlock, (pthread_rwlock_t * l), (l))
ZERUB_PROBE_FORWARD(kRwlockWrite, int, ENOSYS, pthread_rwlock_wrlock, (pthread_rwlock_t * l), (l))
ZERUB_PROBE_FORWARD(kRwlockTryRead, int, ENOSYS, pthread_rwlock_tryrdlock, (pthread_rwlock_t * l),
                    (l))
ZERUB_PROBE_FORWARD(kRwlockTryWrite, int, ENOSYS, pthread_rwlock_trywrlock, (pthread_rwlock_t * l),
                    (l))
ZERUB_PROBE_FORWARD(kRwlockTimedRead, int, ENOSYS, pthread_rwlock_timedrdlock,
                    (pthread_rwlock_t * l, const struct timespec* t), (l, t))
ZERUB_PROBE_FORWARD(kRwlockTimedWrite, int, ENOSYS, pthread_rwlock_timedwrlock,
                    (pthread_rwlock_t * l, const struct timespec* t), (l, t))
ZERUB_PROBE_FORWARD(kSemWait, int, -1, sem_wait, (sem_t * s), (s))
ZERUB_PROBE_FORWARD(kSemTimedWait, int, -1, sem_timedwait, (sem_t * s, const struct timespec* t),
                    (s, t))
ZERUB_PROBE_FORWARD(kNanosleep, int, -1, nanosleep, (const struct timespec* t, struct timespec* r),
                    (t, r))
ZERUB_PROBE_FORWARD(kClockNanosleep, int, ENOSYS, clock_nanosleep,
                    (clockid_t c, int f, const struct timespec* t, struct timespec* r),
                    (c, f, t, r))
ZERUB_PROBE_FORWARD(kUsleep, int, -1, usleep, (useconds_t u), (u))
ZERUB_PROBE_FORWARD(kSleep, unsigned, s, sleep, (unsigned s), (s))
ZERUB_PROBE_FORWARD(kMmap, void*, MAP_FAILED, mmap,
                    (void* a, size_t n, int p, int f, int d, off_t o), (a, n, p, f, d, o))
ZERUB_PROBE_FORWARD(kMmap64, void*, MAP_FAILED, mmap64,
                    (void* a, size_t n, int p, int f, int d, off64_t o), (a, n, p, f, d, o))
ZERUB_PROBE_FORWARD(kMunmap, int, -1, munmap, (void* a, size_t n), (a, n))
ZERUB_PROBE_FORWARD(kFopen, FILE*, nullptr, fopen, (const char* p, const char* m), (p, m))
ZERUB_PROBE_FORWARD(kFopen64, FILE*, nullptr, fopen64, (const char* p, const char* m), (p, m))
ZERUB_PROBE_FORWARD(kRead, ssize_t, -1, read, (int d, void* b, size_t n), (d, b, n))
ZERUB_PROBE_FORWARD(kWrite, ssize_t, -1, write, (int d, const void* b, size_t n), (d, b, n))
ZERUB_PROBE_FORWARD(kSocket, int, -1, socket, (int d, int t, int p), (d, t, p))
ZERUB_PROBE_FORWARD(kConnect, int, -1, connect, (int s, const struct sockaddr* a, socklen_t n),
                    (s, a, n))
ZERUB_PROBE_FORWARD(kAccept, int, -1, accept, (int s, struct sockaddr* a, socklen_t* n), (s, a, n))
ZERUB_PROBE_FORWARD(kSend, ssize_t, -1, send, (int s, const void* b, size_t n, int f), (s, b, n, f))
ZERUB_PROBE_FORWARD(kSendto, ssize_t, -1, sendto,
                    (int s, const void* b, size_t n, int f, const struct sockaddr* a, socklen_t l),
                    (s, b, n, f, a, l))
ZERUB_PROBE_FORWARD(kRecv, ssize_t, -1, recv, (int s, void* b, size_t n, int f), (s, b, n, f))
ZERUB_PROBE_FORWARD(kRecvfrom, ssize_t, -1, recvfrom,
                    (int s, void* b, size_t n, int f, struct sockaddr* a, socklen_t* l),
                    (s, b, n, f, a, l))

#undef ZERUB_PROBE_FORWARD

// The open calls take a mode only when they create.
__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    va_list more;
    va_start(more, flags);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): va_start just above began it
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(more, mode_t) : 0;
    va_end(more);
    using Function = int (*)(const char*, int, ...);
    const Function f = Forward<Function>(kOpen);
    if (!f) {
        errno = ENOSYS;
        return -1;
    }
    return f(path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    va_list more;
    va_start(more, flags);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): va_start just above began it
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(more, mode_t) : 0;
    va_end(more);
    using Function = int (*)(const char*, int, ...);
    const Function f = Forward<Function>(kOpen64);
    if (!f) {
        errno = ENOSYS;
        return -1;
    }
    return f(path, flags, mode);
}

__attribute__((visibility("default"))) int openat(int dir, const char* path, int flags, ...) {
    va_list more;
    va_start(more, flags);
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): va_start just above began it
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(more, mode_t) : 0;
    va_end(more);
    using Function = int (*)(int, const char*, int, ...);
    const Function f = Forward<Function>(kOpenat);
    if (!f) {
        errno = ENOSYS;
        return -1;
    }
    return f(dir, path, flags, mode);
}

} // extern "C"

namespace renderprobe {
bool AllocationsCounted() {
    return true;
}
bool LocksCounted() {
    return realLock != nullptr && realTryLock != nullptr;
}
bool CallsCounted() {
    return true;
}
} // namespace renderprobe

#endif

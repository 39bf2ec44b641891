// The DSP binary runs on systems whose C library is older than the one it is built on. The code
// (ours and the static C++ runtime's) is built against this system's headers, which bind a few
// calls to symbol versions newer than the oldest C library the bundle supports: functions that
// moved into libc (2.34), the stat family that became real functions (2.33), the C++ runtime's
// single-thread flag (2.32), the unwinder's object lookup (2.35) and arc4random (2.36). The link
// wraps each of those references (-Wl,--wrap) and the wrappers below call the baseline versions
// every C library since the baseline still exports, or do the work with calls that old, so one
// binary loads on old and new systems alike. Only the DSP binary links this file.
#include <cstdint>
#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <sys/random.h>
#include <sys/stat.h>

#ifndef ZERUB_GLIBC_BASELINE
#error "ZERUB_GLIBC_BASELINE names the baseline symbol version (GLIBC_2.2.5 on x86-64)"
#endif
#if DLFO_STRUCT_HAS_EH_DBASE
#error "this architecture's unwinder needs dlfo_eh_dbase, which the lookup below does not give"
#endif

// A reference to NAME at the baseline version, under a name of our own (so that the wrapping,
// which matches the plain name, leaves it alone).
#define ZERUB_BASELINE(alias, name) __asm__(".symver " #alias "," #name "@" ZERUB_GLIBC_BASELINE)

extern "C" {

int zerub_pthread_once(pthread_once_t*, void (*)());
int zerub_pthread_key_create(pthread_key_t*, void (*)(void*));
int zerub_pthread_mutexattr_init(pthread_mutexattr_t*);
int zerub_pthread_mutexattr_destroy(pthread_mutexattr_t*);
int zerub_pthread_mutexattr_settype(pthread_mutexattr_t*, int);
int zerub_xstat(int, const char*, struct stat*);
int zerub_lxstat(int, const char*, struct stat*);
int zerub_fxstat(int, int, struct stat*);
ZERUB_BASELINE(zerub_pthread_once, pthread_once);
ZERUB_BASELINE(zerub_pthread_key_create, __pthread_key_create);
ZERUB_BASELINE(zerub_pthread_mutexattr_init, pthread_mutexattr_init);
ZERUB_BASELINE(zerub_pthread_mutexattr_destroy, pthread_mutexattr_destroy);
ZERUB_BASELINE(zerub_pthread_mutexattr_settype, pthread_mutexattr_settype);
ZERUB_BASELINE(zerub_xstat, __xstat);
ZERUB_BASELINE(zerub_lxstat, __lxstat);
ZERUB_BASELINE(zerub_fxstat, __fxstat);

int __wrap_pthread_once(pthread_once_t* once, void (*init)()) {
    return zerub_pthread_once(once, init);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
    return zerub_pthread_key_create(key, destructor);
}
int __wrap_pthread_mutexattr_init(pthread_mutexattr_t* attr) {
    return zerub_pthread_mutexattr_init(attr);
}
int __wrap_pthread_mutexattr_destroy(pthread_mutexattr_t* attr) {
    return zerub_pthread_mutexattr_destroy(attr);
}
int __wrap_pthread_mutexattr_settype(pthread_mutexattr_t* attr, int type) {
    return zerub_pthread_mutexattr_settype(attr, type);
}

// Before 2.33 the stat calls were inline wrappers around these, with the structure's version.
int __wrap_stat(const char* path, struct stat* st) {
    return zerub_xstat(ZERUB_STAT_VER, path, st);
}
int __wrap_lstat(const char* path, struct stat* st) {
    return zerub_lxstat(ZERUB_STAT_VER, path, st);
}
int __wrap_fstat(int fd, struct stat* st) {
    return zerub_fxstat(ZERUB_STAT_VER, fd, st);
}

// The C++ runtime skips atomic reference counts while this says the process has one thread;
// a plug-in never knows that, so it always says no (the C library's own answer in a host).
char __libc_single_threaded = 0;

// The unwinder's lookup of the object holding an address and its exception frame table, from
// the program headers as it did before the C library offered the lookup.
struct ZerubFindObject {
    uintptr_t pc;
    dl_find_object* result;
    bool found;
};

static int ZerubVisitObject(dl_phdr_info* info, size_t, void* data) {
    auto* find = static_cast<ZerubFindObject*>(data);
    uintptr_t lo = UINTPTR_MAX, hi = 0;
    bool contains = false;
    void* ehFrame = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
        if (ph.p_type == PT_LOAD) {
            lo = start < lo ? start : lo;
            hi = start + ph.p_memsz > hi ? start + ph.p_memsz : hi;
            contains = contains || (find->pc >= start && find->pc < start + ph.p_memsz);
        } else if (ph.p_type == PT_GNU_EH_FRAME) {
            ehFrame = reinterpret_cast<void*>(start);
        }
    }
    if (!contains) return 0;
    find->result->dlfo_flags = 0;
    find->result->dlfo_map_start = reinterpret_cast<void*>(lo);
    find->result->dlfo_map_end = reinterpret_cast<void*>(hi);
    find->result->dlfo_link_map = nullptr;
    find->result->dlfo_eh_frame = ehFrame;
    find->found = true;
    return 1;
}

int __wrap__dl_find_object(void* pc, dl_find_object* result) {
    ZerubFindObject find = {reinterpret_cast<uintptr_t>(pc), result, false};
    dl_iterate_phdr(ZerubVisitObject, &find);
    return find.found ? 0 : -1;
}

// Linked with the C++ runtime's random_device, which the plug-in never makes.
uint32_t __wrap_arc4random() {
    uint32_t value = 0;
    while (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
    }
    return value;
}

} // extern "C"

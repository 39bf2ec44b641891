// Preloaded into the program under test: the first open of the file named by ZERUB_SWAP_TARGET
// first renames the FIFO named by ZERUB_SWAP_FIFO over it, as a neighbour might between a
// program's check of a file and its open of it.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>

namespace {

void SwapBefore(const char* path) {
    static bool done = false;
    const char* target = std::getenv("ZERUB_SWAP_TARGET");
    const char* fifo = std::getenv("ZERUB_SWAP_FIFO");
    if (done || !path || !target || !fifo || std::strcmp(path, target) != 0) return;
    done = true;
    std::rename(fifo, target);
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

int OpenWith(const char* name, const char* path, int flags, va_list args) {
    SwapBefore(path);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    static const auto next = Next<int (*)(const char*, int, ...)>(name);
    return next(path, flags, mode);
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = OpenWith("open", path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const int fd = OpenWith("open64", path, flags, args);
    va_end(args);
    return fd;
}

FILE* fopen(const char* path, const char* mode) {
    SwapBefore(path);
    static const auto next = Next<FILE* (*)(const char*, const char*)>("fopen");
    return next(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
    SwapBefore(path);
    static const auto next = Next<FILE* (*)(const char*, const char*)>("fopen64");
    return next(path, mode);
}
}

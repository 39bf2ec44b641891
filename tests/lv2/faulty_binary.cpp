// A shared object that breaks every rule check-binary.sh enforces: the C++ runtime linked
// dynamically, symbols beyond the entry point exported, fork referenced, and a GLIBC symbol
// version newer than the DSP binary may need (pthread_mutexattr_init moved into libc in 2.34).
#include <pthread.h>
#include <string>
#include <unistd.h>

extern "C" __attribute__((visibility("default"))) const void* lv2_descriptor(unsigned index) {
    static std::string name = "faulty";
    return index == 0 ? name.c_str() : nullptr;
}

extern "C" __attribute__((visibility("default"))) int faulty_extra() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    return fork();
}

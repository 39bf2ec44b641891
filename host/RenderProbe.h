// Counts what a unit does on the render thread that a real-time thread must not do: heap
// allocations (and frees), mutex acquisitions, and calls that wait, sleep, map memory or do file
// or socket I/O. The process's allocator, pthread_mutex_lock and those calls are interposed (the
// program exports them, so a unit it loads binds to them); they count only on a thread that has
// armed the probe, and only while it is armed, so the rest of the program (and every other
// thread) is unaffected.
#pragma once

namespace renderprobe {

// False in builds whose sanitizer runtime owns the allocator and the locks: nothing is counted.
bool AllocationsCounted();
bool LocksCounted();
bool CallsCounted();

// The mutexes an armed thread took, each with the number of times, in the order first taken.
constexpr int kMaxMutexes = 16;
constexpr int kMaxCalls = 16;
struct Counts {
    long allocations = 0; // malloc, calloc, realloc, aligned forms; operator new goes through them
    long frees = 0;
    int mutexes = 0; // distinct mutexes recorded (at most kMaxMutexes)
    const void* mutex[kMaxMutexes] = {};
    long taken[kMaxMutexes] = {};
    long unrecorded = 0; // acquisitions of mutexes beyond the table
    // Waiting, sleeping, mapping, file and socket calls, by name, in the order first made.
    int calls = 0;
    const char* call[kMaxCalls] = {};
    long made[kMaxCalls] = {};
};

// Starts and stops counting on the calling thread; Arm clears the counts.
void Arm();
void Disarm();
Counts Read();

// Stops counting on this thread for its lifetime: for the host's own callbacks (input, render
// notify) that run inside a render but are not the unit's doing.
class Pause {
public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;

private:
    bool wasArmed;
};

} // namespace renderprobe

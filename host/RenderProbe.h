// Counts what a unit does on the render thread that a real-time thread must not do: heap
// allocations (and frees) and mutex acquisitions. The process's allocator and pthread_mutex_lock
// are interposed; they count only on a thread that has armed the probe, and only while it is
// armed, so the rest of the program (and every other thread) is unaffected.
#pragma once

namespace renderprobe {

// False in builds whose sanitizer runtime owns the allocator and the locks: nothing is counted.
bool AllocationsCounted();
bool LocksCounted();

// The mutexes an armed thread took, each with the number of times, in the order first taken.
constexpr int kMaxMutexes = 16;
struct Counts {
    long allocations = 0; // malloc, calloc, realloc, aligned forms; operator new goes through them
    long frees = 0;
    int mutexes = 0; // distinct mutexes recorded (at most kMaxMutexes)
    const void* mutex[kMaxMutexes] = {};
    long taken[kMaxMutexes] = {};
    long unrecorded = 0; // acquisitions of mutexes beyond the table
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

// Recursive mutex: the same thread may take it again while it holds it. Taken for the span of
// one operation, through WDL_MutexLock.
#pragma once

#include <pthread.h>

class WDL_Mutex {
public:
    WDL_Mutex() {
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutex_init(&m_mutex, &attr);
        pthread_mutexattr_destroy(&attr);
    }
    ~WDL_Mutex() { pthread_mutex_destroy(&m_mutex); }
    WDL_Mutex(const WDL_Mutex&) = delete;
    WDL_Mutex& operator=(const WDL_Mutex&) = delete;

    void Enter() { pthread_mutex_lock(&m_mutex); }
    void Leave() { pthread_mutex_unlock(&m_mutex); }

private:
    pthread_mutex_t m_mutex;
};

class WDL_MutexLock {
public:
    explicit WDL_MutexLock(WDL_Mutex* mutex) : m_mutex(mutex) {
        if (m_mutex) m_mutex->Enter();
    }
    ~WDL_MutexLock() {
        if (m_mutex) m_mutex->Leave();
    }
    WDL_MutexLock(const WDL_MutexLock&) = delete;
    WDL_MutexLock& operator=(const WDL_MutexLock&) = delete;

private:
    WDL_Mutex* m_mutex;
};

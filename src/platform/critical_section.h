// Recursive mutual exclusion with the semantics of a Windows critical section:
// the owning thread may enter again. Satisfies Lockable, so it works with
// std::lock_guard and std::unique_lock.
#pragma once

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace tav::platform {

class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock();
    void unlock();
    bool try_lock();

private:
#if defined(_WIN32)
    // Storage for CRITICAL_SECTION without including <windows.h> here.
    alignas(void*) unsigned char native_[sizeof(void*) == 8 ? 40 : 24];
#else
    pthread_mutex_t native_;
#endif
};

}  // namespace tav::platform

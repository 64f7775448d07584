#include "platform/critical_section.h"

namespace tav::platform {

CriticalSection::CriticalSection() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&native_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

CriticalSection::~CriticalSection() {
    pthread_mutex_destroy(&native_);
}

void CriticalSection::lock() {
    pthread_mutex_lock(&native_);
}

void CriticalSection::unlock() {
    pthread_mutex_unlock(&native_);
}

bool CriticalSection::try_lock() {
    return pthread_mutex_trylock(&native_) == 0;
}

}  // namespace tav::platform

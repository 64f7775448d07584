#include "platform/critical_section.h"

#include <windows.h>

namespace tav::platform {
namespace {

CRITICAL_SECTION* native(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

// The header reserves the storage without <windows.h>; it must fit exactly.
static_assert(sizeof(CRITICAL_SECTION) == (sizeof(void*) == 8 ? 40 : 24));
static_assert(alignof(CRITICAL_SECTION) <= alignof(void*));

CriticalSection::CriticalSection() {
    InitializeCriticalSection(native(native_));
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(native(native_));
}

void CriticalSection::lock() {
    EnterCriticalSection(native(native_));
}

void CriticalSection::unlock() {
    LeaveCriticalSection(native(native_));
}

bool CriticalSection::try_lock() {
    return TryEnterCriticalSection(native(native_)) != 0;
}

}  // namespace tav::platform

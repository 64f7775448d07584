#include "platform/process_info.h"

#include <windows.h>

namespace tav::platform {

std::size_t moduleFileName(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const DWORD capacity = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    const DWORD length = GetModuleFileNameA(nullptr, buffer, capacity);
    if (length == 0) {
        buffer[0] = '\0';
        return 0;
    }
    // A cut path fills the whole buffer; older systems leave it unterminated.
    if (length >= capacity) {
        buffer[capacity - 1] = '\0';
        return capacity - 1;
    }
    return length;
}

std::uintptr_t currentThreadId() {
    return GetCurrentThreadId();
}

}  // namespace tav::platform

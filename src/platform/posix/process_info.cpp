#include "platform/process_info.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace tav::platform {

std::size_t moduleFileName(char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
    if (length < 0) {
        buffer[0] = '\0';
        return 0;
    }
    buffer[length] = '\0';
    return static_cast<std::size_t>(length);
}

std::uintptr_t currentThreadId() {
    return static_cast<std::uintptr_t>(syscall(SYS_gettid));
}

}  // namespace tav::platform

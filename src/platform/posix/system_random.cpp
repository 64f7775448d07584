#include "platform/system_random.h"

#include <cerrno>

#include <sys/random.h>

namespace tav::platform {

bool systemRandom(void* buffer, std::size_t size) {
    auto* at = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        // Blocks only until the kernel's pool is first seeded.
        const ssize_t n = getrandom(at, size, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace tav::platform

#include "platform/system_random.h"

// <bcrypt.h> needs the types of <windows.h> before it.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

namespace tav::platform {

bool systemRandom(void* buffer, std::size_t size) {
    auto* at = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ULONG part = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, at, part, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            return false;
        }
        at += part;
        size -= part;
    }
    return true;
}

}  // namespace tav::platform

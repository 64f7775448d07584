#include "platform/pages.h"

#include <windows.h>

namespace tav::platform {

// Committed at once: the pool hands the pages out without touching them first.
void* reservePages(std::size_t size) {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

// MEM_RELEASE frees the whole reservation and requires a size of 0.
void releasePages(void* block, std::size_t /*size*/) {
    if (block != nullptr) {
        VirtualFree(block, 0, MEM_RELEASE);
    }
}

}  // namespace tav::platform

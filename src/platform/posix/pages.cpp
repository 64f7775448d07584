#include "platform/pages.h"

#include <sys/mman.h>

namespace tav::platform {

void* reservePages(std::size_t size) {
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void releasePages(void* block, std::size_t size) {
    if (block != nullptr) {
        munmap(block, size);
    }
}

}  // namespace tav::platform

#include "platform/crt_heap.h"

#include <cstdlib>
#include <cstring>

#include <malloc.h>

namespace tav::platform {

void* crtAllocate(std::size_t size) {
    return std::malloc(size);
}

void crtFree(void* block) {
    std::free(block);
}

void* crtReallocate(void* block, std::size_t size) {
    return std::realloc(block, size);
}

char* crtDuplicateText(const char* text) {
    return text == nullptr ? nullptr : strdup(text);
}

std::size_t crtUsableSize(void* block) {
    return block == nullptr ? 0 : malloc_usable_size(block);
}

}  // namespace tav::platform

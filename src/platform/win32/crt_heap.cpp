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
    return text == nullptr ? nullptr : _strdup(text);
}

// _msize rejects a null block through the invalid-parameter handler.
std::size_t crtUsableSize(void* block) {
    return block == nullptr ? 0 : _msize(block);
}

}  // namespace tav::platform

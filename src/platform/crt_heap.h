// The C runtime heap functions the counting allocator wraps, under one name on
// every system (_strdup and _msize on Windows, strdup and malloc_usable_size
// on glibc).
#pragma once

#include <cstddef>

namespace tav::platform {

void* crtAllocate(std::size_t size);
void crtFree(void* block);
void* crtReallocate(void* block, std::size_t size);
char* crtDuplicateText(const char* text);
// Usable size of a block from this heap; 0 for nullptr.
std::size_t crtUsableSize(void* block);

}  // namespace tav::platform

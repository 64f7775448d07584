// Reservation of committed, read-write memory straight from the operating
// system (VirtualAlloc/VirtualFree, mmap/munmap), for the value page pool.
#pragma once

#include <cstddef>

namespace tav::platform {

// Returns size bytes aligned to at least 4096, or nullptr on failure.
void* reservePages(std::size_t size);

// Gives back a block obtained from reservePages with the same size.
void releasePages(void* block, std::size_t size);

}  // namespace tav::platform

#include "counting_new.h"

#include <cstdlib>
#include <new>

namespace tav::bench {

std::atomic<std::uint64_t> globalNewCalls{0};

}  // namespace tav::bench

void* operator new(std::size_t size) {
    tav::bench::globalNewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

// GCC inlines these into callers of the replaced operator new and then takes
// the free for a mismatch; the pair matches, since new above uses malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t /*size*/) noexcept {
    std::free(block);
}
#pragma GCC diagnostic pop

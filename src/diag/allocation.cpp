#include "diag/allocation.h"

#include <atomic>
#include <mutex>
#include <new>

#include "platform/crt_heap.h"

namespace tav::diag {
namespace {

struct AtomicCounters {
    std::atomic<std::uint64_t> peakLiveBytes{0};
    std::atomic<std::uint64_t> liveAllocationsAtPeak{0};
    std::atomic<std::uint64_t> bytesAllocated{0};
    std::atomic<std::uint64_t> allocations{0};
    std::atomic<std::uint64_t> bytesFreed{0};
    std::atomic<std::uint64_t> frees{0};
    // Kept apart from the totals so that each change yields the exact live
    // figure after it; subtracting two totals read one after the other does not.
    std::atomic<std::uint64_t> liveBytes{0};
    std::atomic<std::uint64_t> liveAllocations{0};
};

// Constant-initialised, so usable from the very first allocation of the
// process whatever the order of static initialisation.
constinit AtomicCounters gCounters;
constinit AllocationHooks gHooks;
constinit std::once_flag gInitialised;

AtomicCounters& countersOf(void* userData) {
    return *static_cast<AtomicCounters*>(userData);
}

// Raises the peak to `live` unless another thread has already raised it
// further. The count stored with it may come from a concurrent allocation that
// also raised the peak: the two values are not one atomic pair.
void updatePeak(AtomicCounters& c, std::uint64_t live, std::uint64_t liveAllocations) {
    std::uint64_t peak = c.peakLiveBytes.load(std::memory_order_relaxed);
    while (live > peak) {
        if (c.peakLiveBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
            c.liveAllocationsAtPeak.store(liveAllocations, std::memory_order_relaxed);
            return;
        }
    }
}

void countAllocation(AtomicCounters& c, std::size_t size) {
    c.bytesAllocated.fetch_add(size);
    c.allocations.fetch_add(1);
    const std::uint64_t live = c.liveBytes.fetch_add(size) + size;
    updatePeak(c, live, c.liveAllocations.fetch_add(1) + 1);
}

void countFree(AtomicCounters& c, std::size_t size) {
    c.bytesFreed.fetch_add(size);
    c.frees.fetch_add(1);
    c.liveBytes.fetch_sub(size);
    c.liveAllocations.fetch_sub(1);
}

void* countingAllocate(std::size_t size, void* userData) {
    void* block = platform::crtAllocate(size);
    countAllocation(countersOf(userData), platform::crtUsableSize(block));
    return block;
}

void countingFree(void* block, void* userData) {
    if (block == nullptr) {
        return;
    }
    const std::size_t size = platform::crtUsableSize(block);
    platform::crtFree(block);
    countFree(countersOf(userData), size);
}

void* countingReallocate(void* block, std::size_t size, void* userData) {
    AtomicCounters& c = countersOf(userData);
    const std::size_t oldSize = platform::crtUsableSize(block);
    void* result = platform::crtReallocate(block, size);
    const std::size_t newSize = platform::crtUsableSize(result);
    countFree(c, oldSize);
    countAllocation(c, newSize);
    return result;
}

char* countingDuplicateText(const char* text, void* userData) {
    char* copy = platform::crtDuplicateText(text);
    countAllocation(countersOf(userData), platform::crtUsableSize(copy));
    return copy;
}

std::size_t countingUsableSize(void* block, void* /*userData*/) {
    return platform::crtUsableSize(block);
}

const AllocationHooks& hooks() {
    std::call_once(gInitialised, [] { gHooks = countingAllocationHooks(); });
    return gHooks;
}

}  // namespace

AllocationHooks countingAllocationHooks() {
    AllocationHooks h;
    h.allocate = countingAllocate;
    h.free = countingFree;
    h.reallocate = countingReallocate;
    h.duplicateText = countingDuplicateText;
    h.usableSize = countingUsableSize;
    h.userData = &gCounters;
    return h;
}

void* allocate(std::size_t size) {
    const AllocationHooks& h = hooks();
    return h.allocate != nullptr ? h.allocate(size, h.userData) : platform::crtAllocate(size);
}

void deallocate(void* block) {
    const AllocationHooks& h = hooks();
    if (h.free != nullptr) {
        h.free(block, h.userData);
    } else {
        platform::crtFree(block);
    }
}

void* reallocate(void* block, std::size_t size) {
    const AllocationHooks& h = hooks();
    return h.reallocate != nullptr ? h.reallocate(block, size, h.userData)
                                   : platform::crtReallocate(block, size);
}

char* duplicateText(const char* text) {
    const AllocationHooks& h = hooks();
    return h.duplicateText != nullptr ? h.duplicateText(text, h.userData)
                                      : platform::crtDuplicateText(text);
}

std::size_t usableSize(void* block) {
    const AllocationHooks& h = hooks();
    return h.usableSize != nullptr ? h.usableSize(block, h.userData)
                                   : platform::crtUsableSize(block);
}

bool installAllocationHooks(const AllocationHooks& newHooks) {
    std::call_once(gInitialised, [] {});
    gHooks = newHooks;
    return true;
}

AllocationCounters readAllocationCounters() {
    // Frees first: every free read then has its allocation counted too, so
    // the live figures cannot wrap below zero while other threads run.
    AllocationCounters result;
    result.bytesFreed = gCounters.bytesFreed.load();
    result.frees = gCounters.frees.load();
    result.bytesAllocated = gCounters.bytesAllocated.load();
    result.allocations = gCounters.allocations.load();
    result.peakLiveBytes = gCounters.peakLiveBytes.load();
    result.liveAllocationsAtPeak = gCounters.liveAllocationsAtPeak.load();
    return result;
}

void writeAllocationCounters(std::uint32_t (&words)[kAllocationCounterWords]) {
    const AllocationCounters c = readAllocationCounters();
    const std::uint64_t values[] = {c.peakLiveBytes,  c.liveAllocationsAtPeak,
                                    c.bytesAllocated, c.allocations,
                                    c.bytesFreed,     c.frees};
    for (std::size_t i = 0; i < 6; ++i) {
        words[2 * i] = static_cast<std::uint32_t>(values[i]);
        words[2 * i + 1] = static_cast<std::uint32_t>(values[i] >> 32);
    }
}

void throwBadAlloc() {
    throw std::bad_alloc();
}

}  // namespace tav::diag

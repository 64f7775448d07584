// The framework's allocation functions. Every allocation of the framework goes
// through one replaceable set of hooks; from the first allocation on, counting
// hooks are installed so that the host can ask how much memory the plugin
// holds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::diag {

struct AllocationHooks {
    void* (*allocate)(std::size_t size, void* userData) = nullptr;
    void (*free)(void* block, void* userData) = nullptr;
    void* (*reallocate)(void* block, std::size_t size, void* userData) = nullptr;
    char* (*duplicateText)(const char* text, void* userData) = nullptr;
    std::size_t (*usableSize)(void* block, void* userData) = nullptr;
    void* userData = nullptr;
};

// The six process-wide counters, in the order the host receives them.
struct AllocationCounters {
    std::uint64_t peakLiveBytes = 0;
    std::uint64_t liveAllocationsAtPeak = 0;
    std::uint64_t bytesAllocated = 0;  // sum of usable sizes
    std::uint64_t allocations = 0;
    std::uint64_t bytesFreed = 0;  // sum of usable sizes
    std::uint64_t frees = 0;

    std::uint64_t liveBytes() const { return bytesAllocated - bytesFreed; }
    std::uint64_t liveAllocations() const { return allocations - frees; }
};

inline constexpr std::size_t kAllocationCounterWords = 12;

// The framework allocation functions: the installed hook, or the C runtime
// function where a hook is missing.
void* allocate(std::size_t size);
void deallocate(void* block);
void* reallocate(void* block, std::size_t size);
char* duplicateText(const char* text);
std::size_t usableSize(void* block);

// Replaces the whole set of hooks; returns true. Installing marks the layer as
// initialised, so the counting hooks do not later replace the caller's set.
// Install before other threads allocate.
bool installAllocationHooks(const AllocationHooks& hooks);

// The counting hooks, with the process-wide counters as their user data.
AllocationHooks countingAllocationHooks();

AllocationCounters readAllocationCounters();

// The counters as twelve 32-bit words, the low word of each value first.
void writeAllocationCounters(std::uint32_t (&words)[kAllocationCounterWords]);

// Standard-library allocator over the framework allocation functions, so that
// containers of the framework are counted too.
template <class T>
struct CountingAllocator {
    using value_type = T;

    CountingAllocator() = default;
    template <class U>
    CountingAllocator(const CountingAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t n);
    void deallocate(T* block, std::size_t /*n*/) noexcept { diag::deallocate(block); }

    template <class U>
    bool operator==(const CountingAllocator<U>& /*other*/) const noexcept {
        return true;
    }
};

[[noreturn]] void throwBadAlloc();

template <class T>
T* CountingAllocator<T>::allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) {
        throwBadAlloc();
    }
    void* block = diag::allocate(n * sizeof(T));
    if (block == nullptr) {
        throwBadAlloc();
    }
    return static_cast<T*>(block);
}

}  // namespace tav::diag

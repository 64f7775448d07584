#include "diag/allocation.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace tav::diag;

namespace {

AllocationCounters delta(const AllocationCounters& before, const AllocationCounters& after) {
    AllocationCounters d;
    d.bytesAllocated = after.bytesAllocated - before.bytesAllocated;
    d.allocations = after.allocations - before.allocations;
    d.bytesFreed = after.bytesFreed - before.bytesFreed;
    d.frees = after.frees - before.frees;
    return d;
}

}  // namespace

// Each block counts once, at its usable size, when taken and when given back.
TEST(AllocationCounters, AllocateDuplicateAndFreeBalance) {
    const AllocationCounters before = readAllocationCounters();
    void* block = allocate(100);
    char* copy = duplicateText("champion");
    ASSERT_NE(block, nullptr);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "champion");
    EXPECT_GE(usableSize(block), 100u);
    const std::size_t size = usableSize(block) + usableSize(copy);
    EXPECT_GE(readAllocationCounters().peakLiveBytes, size);
    deallocate(block);
    deallocate(copy);
    deallocate(nullptr);  // ignored, not counted

    const AllocationCounters d = delta(before, readAllocationCounters());
    EXPECT_EQ(d.bytesAllocated, size);
    EXPECT_EQ(d.bytesFreed, size);
    EXPECT_EQ(d.allocations, 2u);
    EXPECT_EQ(d.frees, 2u);
}

TEST(AllocationCounters, ReallocateCountsOneFreeAndOneAllocation) {
    struct Row {
        const char* name;
        std::size_t initial;  // 0: start from a null block
        std::size_t grown;
    };
    for (const Row& row : {Row{"null block", 0, 40}, Row{"grow", 16, 4000}}) {
        SCOPED_TRACE(row.name);
        void* block = row.initial != 0 ? allocate(row.initial) : nullptr;
        const std::size_t oldSize = usableSize(block);
        const AllocationCounters before = readAllocationCounters();
        block = reallocate(block, row.grown);
        ASSERT_NE(block, nullptr);
        const AllocationCounters d = delta(before, readAllocationCounters());
        EXPECT_EQ(d.bytesFreed, oldSize);
        EXPECT_EQ(d.frees, 1u);
        EXPECT_EQ(d.bytesAllocated, usableSize(block));
        EXPECT_EQ(d.allocations, 1u);
        deallocate(block);
    }
}

TEST(AllocationCounters, WordsAreLowHalfFirst) {
    std::uint32_t words[kAllocationCounterWords] = {};
    writeAllocationCounters(words);
    const AllocationCounters c = readAllocationCounters();
    // Counters only grow between the two reads, and no test moves them past 2^32.
    EXPECT_LE(words[4], static_cast<std::uint32_t>(c.bytesAllocated));
    EXPECT_EQ(words[5], static_cast<std::uint32_t>(c.bytesAllocated >> 32));
    EXPECT_LE(words[6], static_cast<std::uint32_t>(c.allocations));
}

TEST(AllocationCounters, CountingAllocatorCountsContainerStorage) {
    const AllocationCounters before = readAllocationCounters();
    {
        std::vector<int, CountingAllocator<int>> numbers(1000, 7);
        EXPECT_EQ(numbers[999], 7);
    }
    const AllocationCounters d = delta(before, readAllocationCounters());
    EXPECT_EQ(d.allocations, 1u);
    EXPECT_EQ(d.frees, 1u);
    EXPECT_GE(d.bytesAllocated, 1000 * sizeof(int));
}

namespace {

struct HookLog {
    int allocations = 0;
    int frees = 0;
};

void* loggingAllocate(std::size_t size, void* user) {
    ++static_cast<HookLog*>(user)->allocations;
    return std::malloc(size);
}

void loggingFree(void* block, void* user) {
    ++static_cast<HookLog*>(user)->frees;
    std::free(block);
}

}  // namespace

TEST(AllocationHooks, InstalledHooksReplaceTheSetAndMissingOnesFallBack) {
    HookLog log;
    AllocationHooks hooks;
    hooks.allocate = loggingAllocate;
    hooks.free = loggingFree;
    hooks.userData = &log;
    ASSERT_TRUE(installAllocationHooks(hooks));

    const AllocationCounters before = readAllocationCounters();
    void* block = allocate(10);
    block = reallocate(block, 20);  // no hook: the C runtime's realloc
    char* text = duplicateText("x");
    deallocate(text);
    deallocate(block);
    const AllocationCounters after = readAllocationCounters();
    installAllocationHooks(countingAllocationHooks());

    EXPECT_EQ(log.allocations, 1);
    EXPECT_EQ(log.frees, 2);
    EXPECT_EQ(after.allocations, before.allocations);  // counting hooks were out
}

// Threads allocate side by side, each round more than the peak so far, and
// meet while every block is held: the live total at that moment is exact and
// the peak must have reached it, however the threads' updates interleaved.
TEST(AllocationCounters, PeakReachesEveryLiveTotalUnderConcurrentAllocation) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    constexpr std::size_t kStep = 64;
    std::vector<std::uint64_t> liveAtMeeting(kRounds);
    std::vector<std::uint64_t> peakAtMeeting(kRounds);
    // A spinning meeting point: not std::barrier, whose MinGW build on an
    // atomic-wait fallback sometimes never wakes its waiters under Wine.
    std::atomic<int> arrivals{0};
    const auto meet = [&](int meeting) {
        ++arrivals;
        while (arrivals.load() < meeting * kThreads) {
            std::this_thread::yield();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                // Larger than last round's block, so the round's total
                // exceeds the peak so far.
                void* block = allocate(kStep * static_cast<std::size_t>(round + 1));
                meet(3 * round + 1);  // every block held
                if (t == 0) {
                    const AllocationCounters c = readAllocationCounters();
                    liveAtMeeting[round] = c.liveBytes();
                    peakAtMeeting[round] = c.peakLiveBytes;
                }
                meet(3 * round + 2);  // read before anyone frees
                deallocate(block);
                meet(3 * round + 3);  // all freed before the next round grows
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        EXPECT_GE(peakAtMeeting[round], liveAtMeeting[round]);
    }
}

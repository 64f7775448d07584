// The process-wide provider of 4096-byte pages for the slot pools of value
// trees. It reserves 64 KiB blocks from the operating system, hands their pages
// out one by one under its mutex and gives a block back as soon as all of its
// pages have returned. Safe to use from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "diag/allocation.h"

namespace tav {

class BindingPagePool {
public:
    static constexpr std::size_t kPageSize = 4096;
    static constexpr std::size_t kPagesPerBlock = 16;
    static constexpr std::size_t kBlockSize = kPageSize * kPagesPerBlock;

    // The one pool of the process, created on first use and never destroyed
    // (roots in static storage may give pages back while the process exits).
    static BindingPagePool& instance();

    // A page aligned to kPageSize; throws std::bad_alloc when the system
    // refuses a new block.
    void* takePage();
    // Gives back a page obtained from takePage.
    void returnPage(void* page) noexcept;

    // Blocks currently reserved from the system and pages currently handed out.
    std::size_t liveBlockCount() const;
    std::size_t livePageCount() const;

    BindingPagePool(const BindingPagePool&) = delete;
    BindingPagePool& operator=(const BindingPagePool&) = delete;

private:
    BindingPagePool() = default;
    ~BindingPagePool() = default;

    struct Block {
        std::byte* base;
        std::uint16_t freePages;  // bit i set: page i of the block is free
    };

    std::size_t blockIndexOf(const void* page) const noexcept;
    std::size_t addBlock();

    mutable std::mutex mutex_;
    // Ordered by base address, so that a returned page finds its block by
    // binary search and pages are handed out from the lowest block first,
    // which lets the higher blocks drain and go back to the system.
    std::vector<Block, diag::CountingAllocator<Block>> blocks_;
    std::size_t firstWithFreePage_ = 0;  // lowest index of a block with a free page
    std::size_t livePages_ = 0;
};

}  // namespace tav

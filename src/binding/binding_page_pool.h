// The process-wide provider of 4096-byte pages for the slot pools of value
// trees. It reserves 64 KiB blocks from the operating system and hands their
// pages out one by one under its mutex. A block whose pages have all returned
// is kept for the next tree, up to a bound, so that a decode that repeats maps
// nothing; the kept blocks go back to the system when the pool falls idle
// (beyond what the busy stretch before needed) and when the module unloads.
// Safe to use from any thread.
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
    // Empty blocks kept at most while some tree lives (an idle pool keeps
    // only what its last busy stretch needed): 20 MiB, the pages of the
    // trees of about 2 MB of body of the costliest shape (small nested
    // arrays, about 8 MiB per MB), so that such decodes repeat without a
    // mapping; a larger burst maps and unmaps the surplus as before.
    static constexpr std::size_t kMaxKeptBlocks = 320;

    // The one pool of the process, created on first use and never destroyed
    // (roots in static storage may give pages back while the process exits).
    static BindingPagePool& instance();

    // A page aligned to kPageSize; throws std::bad_alloc when the system
    // refuses a new block.
    void* takePage();
    // Gives back a page obtained from takePage.
    void returnPage(void* page) noexcept;

    // Gives every kept empty block back to the system; from then on, until
    // a page is taken again, emptied blocks are released at once. Runs when
    // the module unloads.
    void releaseKeptBlocks() noexcept;

    // Blocks currently reserved from the system (kept ones included), the
    // empty ones among them, and pages currently handed out.
    std::size_t liveBlockCount() const;
    std::size_t keptBlockCount() const;
    std::size_t livePageCount() const;
    // Blocks reserved from the system since the process started.
    std::size_t reservedBlockTotal() const;

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
    void releaseBlock(std::size_t index) noexcept;
    // Releases empty blocks, highest addresses first, until at most keep remain.
    void trimKeptBlocks(std::size_t keep) noexcept;

    mutable std::mutex mutex_;
    // Ordered by base address, so that a returned page finds its block by
    // binary search and pages are handed out from the lowest block first,
    // which lets the higher blocks drain and go back to the system.
    std::vector<Block, diag::CountingAllocator<Block>> blocks_;
    std::size_t firstWithFreePage_ = 0;  // lowest index of a block with a free page
    std::size_t livePages_ = 0;
    std::size_t keptBlocks_ = 0;  // blocks with every page free
    // Blocks with a page in use, at most, since the pool was last idle.
    std::size_t busyBlocksPeak_ = 0;
    std::size_t reservedTotal_ = 0;
    bool keepBlocks_ = true;  // false from unload until a page is taken again
};

}  // namespace tav

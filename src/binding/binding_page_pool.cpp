#include "binding/binding_page_pool.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <new>

#include "platform/pages.h"

namespace tav {

namespace {

constexpr std::uint16_t kAllPagesFree = 0xFFFF;
static_assert(BindingPagePool::kPagesPerBlock == 16, "the free-page mask has 16 bits");

// Gives the kept blocks back when the module unloads (or the process ends):
// created with the first block, so it goes after every static tree that
// filled itself later, and anything emptied after it is released at once.
struct ReleaseKeptBlocksAtUnload {
    ReleaseKeptBlocksAtUnload() = default;
    ReleaseKeptBlocksAtUnload(const ReleaseKeptBlocksAtUnload&) = delete;
    ReleaseKeptBlocksAtUnload& operator=(const ReleaseKeptBlocksAtUnload&) = delete;
    ~ReleaseKeptBlocksAtUnload() { BindingPagePool::instance().releaseKeptBlocks(); }
};

}  // namespace

BindingPagePool& BindingPagePool::instance() {
    alignas(BindingPagePool) static unsigned char storage[sizeof(BindingPagePool)];
    static BindingPagePool* const pool = new (storage) BindingPagePool();
    return *pool;
}

std::size_t BindingPagePool::blockIndexOf(const void* page) const noexcept {
    const auto* address = static_cast<const std::byte*>(page);
    const auto it =
        std::upper_bound(blocks_.begin(), blocks_.end(), address,
                         [](const std::byte* a, const Block& block) { return a < block.base; });
    assert(it != blocks_.begin());
    return static_cast<std::size_t>(it - blocks_.begin()) - 1;
}

std::size_t BindingPagePool::addBlock() {
    static ReleaseKeptBlocksAtUnload releaseAtUnload;
    // Make room in the index first: if that throws, no block is lost. The index
    // keeps its capacity while any block lives, so a steady load stops allocating.
    if (blocks_.size() == blocks_.capacity()) {
        blocks_.reserve(std::max<std::size_t>(16, blocks_.capacity() * 2));
    }
    void* memory = platform::reservePages(kBlockSize);
    if (memory == nullptr) {
        diag::throwBadAlloc();
    }
    auto* base = static_cast<std::byte*>(memory);
    ++reservedTotal_;
    const auto it =
        std::upper_bound(blocks_.begin(), blocks_.end(), base,
                         [](const std::byte* a, const Block& block) { return a < block.base; });
    return static_cast<std::size_t>(blocks_.insert(it, Block{base, kAllPagesFree}) -
                                    blocks_.begin());
}

void* BindingPagePool::takePage() {
    std::lock_guard lock(mutex_);
    keepBlocks_ = true;
    std::size_t index = firstWithFreePage_;
    if (index == blocks_.size()) {
        index = addBlock();
        firstWithFreePage_ = index;  // every block before it is full
        ++keptBlocks_;               // counted as empty until its first page goes
    }
    Block& block = blocks_[index];
    if (block.freePages == kAllPagesFree) {
        --keptBlocks_;
        busyBlocksPeak_ = std::max(busyBlocksPeak_, blocks_.size() - keptBlocks_);
    }
    const int page = std::countr_zero(block.freePages);
    block.freePages = static_cast<std::uint16_t>(block.freePages & ~(1u << page));
    if (block.freePages == 0) {
        std::size_t next = index + 1;
        while (next < blocks_.size() && blocks_[next].freePages == 0) {
            ++next;
        }
        firstWithFreePage_ = next;
    }
    ++livePages_;
    return block.base + static_cast<std::size_t>(page) * kPageSize;
}

void BindingPagePool::returnPage(void* page) noexcept {
    if (page == nullptr) {
        return;
    }
    std::lock_guard lock(mutex_);
    const std::size_t index = blockIndexOf(page);
    Block& block = blocks_[index];
    const auto offset = static_cast<std::size_t>(static_cast<std::byte*>(page) - block.base);
    assert(offset % kPageSize == 0 && offset < kBlockSize);
    const unsigned bit = 1u << (offset / kPageSize);
    assert((block.freePages & bit) == 0);
    block.freePages = static_cast<std::uint16_t>(block.freePages | bit);
    --livePages_;
    firstWithFreePage_ = std::min(firstWithFreePage_, index);
    if (block.freePages != kAllPagesFree) {
        return;
    }
    ++keptBlocks_;
    if (livePages_ == 0) {
        // Idle: keep what the stretch that just ended needed, so that the
        // same work again maps nothing, and let a burst's surplus go.
        trimKeptBlocks(keepBlocks_ ? std::min(busyBlocksPeak_, kMaxKeptBlocks) : 0);
        busyBlocksPeak_ = 0;
    } else if (!keepBlocks_ || keptBlocks_ > kMaxKeptBlocks) {
        releaseBlock(index);
    }
}

void BindingPagePool::releaseBlock(std::size_t index) noexcept {
    assert(blocks_[index].freePages == kAllPagesFree);
    platform::releasePages(blocks_[index].base, kBlockSize);
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(index));
    --keptBlocks_;
    if (blocks_.empty()) {
        // A pool without blocks holds nothing: the module may be unloaded
        // now, and the pool itself is never destroyed.
        decltype(blocks_)().swap(blocks_);
        firstWithFreePage_ = 0;
        return;
    }
    if (firstWithFreePage_ > index) {
        --firstWithFreePage_;
    } else if (firstWithFreePage_ == index) {
        // The released block was the first with room; the next one may be full.
        while (firstWithFreePage_ < blocks_.size() && blocks_[firstWithFreePage_].freePages == 0) {
            ++firstWithFreePage_;
        }
    }
}

void BindingPagePool::trimKeptBlocks(std::size_t keep) noexcept {
    // Pages are handed out from the lowest block first, so the highest empty
    // blocks are the ones least likely to be needed soon.
    for (std::size_t index = blocks_.size(); index-- > 0 && keptBlocks_ > keep;) {
        if (blocks_[index].freePages == kAllPagesFree) {
            releaseBlock(index);
        }
    }
}

void BindingPagePool::releaseKeptBlocks() noexcept {
    std::lock_guard lock(mutex_);
    keepBlocks_ = false;
    trimKeptBlocks(0);
    busyBlocksPeak_ = blocks_.size();
}

std::size_t BindingPagePool::liveBlockCount() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}

std::size_t BindingPagePool::keptBlockCount() const {
    std::lock_guard lock(mutex_);
    return keptBlocks_;
}

std::size_t BindingPagePool::reservedBlockTotal() const {
    std::lock_guard lock(mutex_);
    return reservedTotal_;
}

std::size_t BindingPagePool::livePageCount() const {
    std::lock_guard lock(mutex_);
    return livePages_;
}

}  // namespace tav

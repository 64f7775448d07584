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
    const auto it =
        std::upper_bound(blocks_.begin(), blocks_.end(), base,
                         [](const std::byte* a, const Block& block) { return a < block.base; });
    return static_cast<std::size_t>(blocks_.insert(it, Block{base, kAllPagesFree}) -
                                    blocks_.begin());
}

void* BindingPagePool::takePage() {
    std::lock_guard lock(mutex_);
    std::size_t index = firstWithFreePage_;
    if (index == blocks_.size()) {
        index = addBlock();
        firstWithFreePage_ = index;  // every block before it is full
    }
    Block& block = blocks_[index];
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

    if (block.freePages != kAllPagesFree) {
        firstWithFreePage_ = std::min(firstWithFreePage_, index);
        return;
    }
    platform::releasePages(block.base, kBlockSize);
    blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(index));
    if (blocks_.empty()) {
        // An idle pool holds nothing: the module may be unloaded now, and the
        // pool itself is never destroyed.
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

std::size_t BindingPagePool::liveBlockCount() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
}

std::size_t BindingPagePool::livePageCount() const {
    std::lock_guard lock(mutex_);
    return livePages_;
}

}  // namespace tav

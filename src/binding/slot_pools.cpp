#include "binding/slot_pools.h"

#include <bit>
#include <cstring>

#include "binding/binding_page_pool.h"

namespace tav::detail {

namespace {

// Free slots chain through their first 16 bits. The slot holds no object while
// it is free, so the index is copied in and out as raw bytes.
std::uint16_t loadIndex(const unsigned char* slot) noexcept {
    std::uint16_t index;
    std::memcpy(&index, slot, sizeof index);
    return index;
}

void storeIndex(unsigned char* slot, std::uint16_t index) noexcept {
    std::memcpy(slot, &index, sizeof index);
}

std::size_t classOf(std::size_t size) noexcept {
    return (size + SlotPools::kGranularity - 1) / SlotPools::kGranularity - 1;
}

unsigned char* bytesOf(void* page) noexcept {
    return static_cast<unsigned char*>(page);
}

}  // namespace

SlotPools::SlotPools() noexcept : firstWithRoom_{} {}

void SlotPools::pushFront(PageHeader*& head, PageHeader* page) noexcept {
    page->prev = nullptr;
    page->next = head;
    if (head != nullptr) {
        head->prev = page;
    }
    head = page;
}

void SlotPools::unlink(PageHeader*& head, PageHeader* page) noexcept {
    if (page->prev != nullptr) {
        page->prev->next = page->next;
    } else {
        head = page->next;
    }
    if (page->next != nullptr) {
        page->next->prev = page->prev;
    }
}

void SlotPools::releaseAll() noexcept {
    BindingPagePool& pagePool = BindingPagePool::instance();
    for (std::uint32_t touched = touched_; touched != 0; touched &= touched - 1) {
        const auto index = static_cast<std::size_t>(std::countr_zero(touched));
        const PageHeader* const inlinePage = inlineHeader(index);
        for (PageHeader* list : {firstWithRoom_[index], firstFull_[index]}) {
            while (list != nullptr) {
                PageHeader* const page = list;
                list = page->next;  // read before the page can go back to the system
                if (page != inlinePage) {
                    pagePool.returnPage(page);
                }
            }
        }
        firstWithRoom_[index] = nullptr;
    }
    touched_ = 0;
    pages_ = 0;
    slotsInUse_ = 0;
}

SlotPools::~SlotPools() {
    // Values release their slots one by one, or a root's context releases
    // them all at once (releaseAll), before the pools go.
    assert(pages_ == 0 && slotsInUse_ == 0);
}

SlotPools::PageHeader* SlotPools::inlineHeader(std::size_t index) noexcept {
    return std::launder(reinterpret_cast<PageHeader*>(inlinePages_[index]));
}

// The first slot sits at the smallest multiple of the slot size that clears
// the header, so index 0 is never a slot and can end the free chain.
void SlotPools::formatPage(PageHeader* page, std::size_t pageSize, std::size_t slotSize) noexcept {
    page->inUse = 0;
    page->firstFree = 0;
    page->fresh = static_cast<std::uint16_t>((sizeof(PageHeader) + slotSize - 1) / slotSize);
    page->end = static_cast<std::uint16_t>(pageSize / slotSize);
}

void SlotPools::touch(std::size_t index, std::size_t slotSize) noexcept {
    PageHeader* const page = new (inlinePages_[index]) PageHeader{};
    formatPage(page, kInlinePageSize, slotSize);
    firstFull_[index] = nullptr;
    pushFront(firstWithRoom_[index], page);
    touched_ |= std::uint32_t{1} << index;
}

SlotPools::PageHeader* SlotPools::addPage(std::size_t index, std::size_t slotSize) {
    PageHeader* const page = new (BindingPagePool::instance().takePage()) PageHeader{};
    ++pages_;
    formatPage(page, kPageSize, slotSize);
    pushFront(firstWithRoom_[index], page);
    return page;
}

void* SlotPools::allocateSlow(std::size_t size) {
    assert(size >= 1 && size <= kLargestSlot);
    const std::size_t index = classOf(size);
    const std::size_t slotSize = (index + 1) * kGranularity;
    if ((touched_ & (std::uint32_t{1} << index)) == 0) {
        touch(index, slotSize);
    }
    PageHeader* page = firstWithRoom_[index];
    if (page == nullptr) {
        page = addPage(index, slotSize);
    }
    unsigned char* slot;
    if (page->firstFree != 0) {
        slot = bytesOf(page) + std::size_t{page->firstFree} * slotSize;
        page->firstFree = loadIndex(slot);
    } else {
        slot = bytesOf(page) + std::size_t{page->fresh} * slotSize;
        ++page->fresh;
    }
    ++page->inUse;
    ++slotsInUse_;
    if (page->firstFree == 0 && page->fresh == page->end) {
        // Full: among the full pages until a slot comes back.
        unlink(firstWithRoom_[index], page);
        pushFront(firstFull_[index], page);
    }
    return slot;
}

void SlotPools::deallocate(void* slot, std::size_t size) noexcept {
    const std::size_t index = classOf(size);
    const std::size_t slotSize = (index + 1) * kGranularity;
    unsigned char* bytes = static_cast<unsigned char*>(slot);
    const auto address = reinterpret_cast<std::uintptr_t>(slot);
    PageHeader* const inlinePage = inlineHeader(index);
    const auto inlineStart = reinterpret_cast<std::uintptr_t>(inlinePage);
    PageHeader* page;
    if (address - inlineStart < kInlinePageSize) {
        page = inlinePage;
    } else {
        // Pool pages are aligned to their size.
        void* start = bytes - address % kPageSize;
        page = static_cast<PageHeader*>(start);
    }
    const auto slotIndex = static_cast<std::uint16_t>((bytes - bytesOf(page)) / slotSize);

    const bool wasFull = page->firstFree == 0 && page->fresh == page->end;
    storeIndex(bytes, page->firstFree);
    page->firstFree = slotIndex;
    --page->inUse;
    --slotsInUse_;

    if (page->inUse == 0 && page != inlinePage) {
        unlink(wasFull ? firstFull_[index] : firstWithRoom_[index], page);
        BindingPagePool::instance().returnPage(page);
        --pages_;
    } else if (wasFull) {
        unlink(firstFull_[index], page);
        pushFront(firstWithRoom_[index], page);
    }
}

}  // namespace tav::detail

#include "binding/slot_pools.h"

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

SlotPools::SlotPools() noexcept {
    for (SizeClass& sizeClass : classes_) {
        resetClass(sizeClass);
    }
}

void SlotPools::resetClass(SizeClass& sizeClass) noexcept {
    sizeClass.firstWithRoom = nullptr;
    sizeClass.firstFull = nullptr;
    // end 0 marks an in-line page that no allocation has used yet.
    new (sizeClass.inlinePage) PageHeader{nullptr, nullptr, 0, 0, 0, 0};
}

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
    for (SizeClass& sizeClass : classes_) {
        for (PageHeader* list : {sizeClass.firstWithRoom, sizeClass.firstFull}) {
            while (list != nullptr) {
                PageHeader* const page = list;
                list = page->next;  // read before the page can go back to the system
                if (page != inlineHeader(sizeClass)) {
                    pagePool.returnPage(page);
                }
            }
        }
        resetClass(sizeClass);
    }
    pages_ = 0;
    slotsInUse_ = 0;
}

SlotPools::~SlotPools() {
    // Values release their slots one by one, or a root's context releases
    // them all at once (releaseAll), before the pools go.
    assert(pages_ == 0 && slotsInUse_ == 0);
}

SlotPools::PageHeader* SlotPools::inlineHeader(SizeClass& sizeClass) noexcept {
    return std::launder(reinterpret_cast<PageHeader*>(sizeClass.inlinePage));
}

SlotPools::PageHeader* SlotPools::addPage(SizeClass& sizeClass, std::size_t slotSize) {
    PageHeader* page = inlineHeader(sizeClass);
    std::size_t pageSize = kInlinePageSize;
    if (page->end != 0) {
        page = new (BindingPagePool::instance().takePage()) PageHeader{};
        pageSize = kPageSize;
        ++pages_;
    }
    // The first slot sits at the smallest multiple of the slot size that clears
    // the header, so index 0 is never a slot and can end the free chain.
    page->inUse = 0;
    page->firstFree = 0;
    page->fresh = static_cast<std::uint16_t>((sizeof(PageHeader) + slotSize - 1) / slotSize);
    page->end = static_cast<std::uint16_t>(pageSize / slotSize);
    pushFront(sizeClass.firstWithRoom, page);
    return page;
}

void* SlotPools::allocateSlow(std::size_t size) {
    assert(size >= 1 && size <= kLargestSlot);
    const std::size_t index = classOf(size);
    const std::size_t slotSize = (index + 1) * kGranularity;
    SizeClass& sizeClass = classes_[index];
    PageHeader* page = sizeClass.firstWithRoom;
    if (page == nullptr) {
        page = addPage(sizeClass, slotSize);
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
        unlink(sizeClass.firstWithRoom, page);
        pushFront(sizeClass.firstFull, page);
    }
    return slot;
}

void SlotPools::deallocate(void* slot, std::size_t size) noexcept {
    const std::size_t index = classOf(size);
    const std::size_t slotSize = (index + 1) * kGranularity;
    SizeClass& sizeClass = classes_[index];
    unsigned char* bytes = static_cast<unsigned char*>(slot);
    const auto address = reinterpret_cast<std::uintptr_t>(slot);
    const auto inlineStart = reinterpret_cast<std::uintptr_t>(sizeClass.inlinePage);
    PageHeader* page;
    if (address - inlineStart < kInlinePageSize) {
        page = inlineHeader(sizeClass);
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

    if (page->inUse == 0 && page != inlineHeader(sizeClass)) {
        unlink(wasFull ? sizeClass.firstFull : sizeClass.firstWithRoom, page);
        BindingPagePool::instance().returnPage(page);
        --pages_;
    } else if (wasFull) {
        unlink(sizeClass.firstFull, page);
        pushFront(sizeClass.firstWithRoom, page);
    }
}

}  // namespace tav::detail

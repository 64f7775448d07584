// The slot pools of one value tree: every small fixed-size object of the tree
// (payload headers, map nodes, string entries) is carved from them.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace tav::detail {

// 18 size classes of 4 to 72 bytes. Each class starts with a 144-byte page
// held in line (room for at least one slot of every class) and takes further
// 4096-byte pages from the process-wide page pool, returning each page as soon
// as its last slot is freed, or all of them at once through releaseAll. A
// class is set up by its first allocation: a small tree touches a handful of
// the classes, and it is built and dropped once per request.
class SlotPools {
public:
    static constexpr std::size_t kGranularity = 4;
    static constexpr std::size_t kLargestSlot = 72;
    static constexpr std::size_t kClassCount = kLargestSlot / kGranularity;
    static constexpr std::size_t kInlinePageSize = 144;
    static constexpr std::size_t kPageSize = 4096;

    SlotPools() noexcept;
    ~SlotPools();
    SlotPools(const SlotPools&) = delete;
    SlotPools& operator=(const SlotPools&) = delete;

    // size: 1 to kLargestSlot bytes; the same size must be given back on free.
    // A reader takes a slot per key, string and small container: the common
    // case, a never-used slot of a page that stays open afterwards, is inline.
    void* allocate(std::size_t size) {
        assert(size >= 1 && size <= kLargestSlot);
        const std::size_t index = (size + kGranularity - 1) / kGranularity - 1;
        PageHeader* const page = firstWithRoom_[index];
        if (page != nullptr && page->firstFree == 0 && page->fresh + 1 < page->end) {
            unsigned char* const slot = reinterpret_cast<unsigned char*>(page) +
                                        std::size_t{page->fresh} * (index + 1) * kGranularity;
            ++page->fresh;
            ++page->inUse;
            ++slotsInUse_;
            return slot;
        }
        return allocateSlow(size);
    }
    void deallocate(void* slot, std::size_t size) noexcept;

    template <class T, class... Args>
    T* create(Args&&... args) {
        static_assert(sizeof(T) <= kLargestSlot, "too large for a slot");
        static_assert(alignof(T) <= 8, "slots are aligned to at most 8 bytes");
        void* slot = allocate(sizeof(T));
        if constexpr (std::is_nothrow_constructible_v<T, Args...>) {
            return new (slot) T(std::forward<Args>(args)...);
        } else {
            try {
                return new (slot) T(std::forward<Args>(args)...);
            } catch (...) {
                deallocate(slot, sizeof(T));
                throw;
            }
        }
    }

    template <class T>
    void destroy(T* object) noexcept {
        object->~T();
        deallocate(object, sizeof(T));
    }

    // Gives every page back at once, whatever its slots still hold: no
    // destructor runs. The pools are then as new.
    void releaseAll() noexcept;

    std::size_t pageCount() const noexcept { return pages_; }
    std::size_t slotsInUse() const noexcept { return slotsInUse_; }

private:
    struct PageHeader {
        PageHeader* next;  // pages of the class with room, or its full pages
        PageHeader* prev;
        std::uint16_t inUse;
        std::uint16_t firstFree;  // slot index; 0 ends the chain
        // Slots from here to end were never handed out: a new page is not
        // walked to chain its slots, and each slot is first written by its
        // first user.
        std::uint16_t fresh;
        std::uint16_t end;  // one past the last slot
    };
    static_assert(sizeof(void*) != 4 || sizeof(PageHeader) == 16);

    static_assert(kClassCount <= 32, "one bit of touched_ per class");

    PageHeader* inlineHeader(std::size_t index) noexcept;
    static void pushFront(PageHeader*& head, PageHeader* page) noexcept;
    static void unlink(PageHeader*& head, PageHeader* page) noexcept;
    static void formatPage(PageHeader* page, std::size_t pageSize, std::size_t slotSize) noexcept;
    void touch(std::size_t index, std::size_t slotSize) noexcept;
    PageHeader* addPage(std::size_t index, std::size_t slotSize);
    void* allocateSlow(std::size_t size);

    // Per class: the pages with room (null until the class is touched) and
    // the full pages, chained through the same links, so that releaseAll
    // reaches every page without a list of its own on the heap. The full list
    // and the in-line page are set up when the class is touched.
    PageHeader* firstWithRoom_[kClassCount];
    PageHeader* firstFull_[kClassCount];
    std::uint32_t touched_ = 0;  // bit i: class i has been set up
    std::size_t pages_ = 0;
    std::size_t slotsInUse_ = 0;
    alignas(8) unsigned char inlinePages_[kClassCount][kInlinePageSize];
};

}  // namespace tav::detail

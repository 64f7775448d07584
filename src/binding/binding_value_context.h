// The arena of one value tree: the table of interned strings and the slot
// pools from which every small fixed-size object of the tree (payload headers,
// map nodes, string entries) is carved. Created by the tree's root when first
// needed and freed with it; the inspection functions serve tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/binding_value.h"

namespace tav {

namespace detail {

// 18 size classes of 4 to 72 bytes. Each class starts with a 144-byte page
// held in line (room for at least one slot of every class) and takes further
// 4096-byte pages from the process-wide page pool, returning each page as soon
// as its last slot is freed.
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
    void* allocate(std::size_t size);
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

    std::size_t pageCount() const noexcept { return pages_; }
    std::size_t slotsInUse() const noexcept { return slotsInUse_; }

private:
    struct PageHeader {
        PageHeader* next;  // pages of the class with room
        PageHeader* prev;
        std::uint16_t pageSize;
        std::uint16_t inUse;
        std::uint16_t firstFree;  // slot index; 0 ends the chain
    };
    static_assert(sizeof(void*) != 4 || sizeof(PageHeader) == 16);

    struct SizeClass {
        PageHeader* firstWithRoom;
        alignas(8) unsigned char inlinePage[kInlinePageSize];
    };

    static PageHeader* inlineHeader(SizeClass& sizeClass) noexcept;
    PageHeader* addPage(SizeClass& sizeClass, std::size_t slotSize);

    SizeClass classes_[kClassCount];
    std::size_t pages_ = 0;
    std::size_t slotsInUse_ = 0;
};

// A hash set of reference-counted strings (32-bit FNV-1a), starting with 8
// buckets held in line and doubling whenever the count passes the bucket count.
class StringTable {
public:
    static constexpr std::size_t kInitialBuckets = 8;

    StringTable() noexcept;
    ~StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    // The entry for text with one more reference; the empty text is the
    // process-wide empty string, which is never counted.
    InternedString* intern(std::string_view text, SlotPools& pools);
    static void retain(InternedString* entry) noexcept;
    void release(InternedString* entry, SlotPools& pools) noexcept;

    const InternedString* lookup(std::string_view text) const noexcept;
    std::size_t size() const noexcept { return count_; }
    std::size_t bucketCount() const noexcept { return bucketCount_; }

private:
    using Bucket = InternedString*;  // head of a chain

    void grow();
    void clearBuckets() noexcept;

    Bucket* buckets_;
    std::size_t bucketCount_ = kInitialBuckets;
    std::size_t count_ = 0;
    Bucket inlineBuckets_[kInitialBuckets];
};

}  // namespace detail

class BindingValueContext {
public:
    static BindingValueContext* create();
    static void destroy(BindingValueContext* context) noexcept;

    BindingValueContext(const BindingValueContext&) = delete;
    BindingValueContext& operator=(const BindingValueContext&) = delete;

    detail::SlotPools& pools() noexcept { return pools_; }
    detail::StringTable& strings() noexcept { return strings_; }

    // Inspection.
    std::size_t stringCount() const noexcept { return strings_.size(); }
    std::size_t stringBucketCount() const noexcept { return strings_.bucketCount(); }
    // References held on the interned text, 0 when it is not interned.
    std::uint32_t stringReferences(std::string_view text) const noexcept;
    // 4096-byte pages the slot pools hold, and slots currently allocated.
    std::size_t pageCount() const noexcept { return pools_.pageCount(); }
    std::size_t slotsInUse() const noexcept { return pools_.slotsInUse(); }

private:
    BindingValueContext() = default;
    ~BindingValueContext() = default;

    detail::SlotPools pools_;
    detail::StringTable strings_;
};

}  // namespace tav

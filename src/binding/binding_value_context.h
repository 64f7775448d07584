// The arena of one value tree: the table of interned strings and the slot
// pools from which every small fixed-size object of the tree (payload headers,
// map nodes, string entries) is carved. Created by the tree's root when first
// needed and freed with it; the inspection functions serve tests and benchmarks.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/binding_value.h"
#include "binding/string_hash.h"

namespace tav {

namespace detail {

// 18 size classes of 4 to 72 bytes. Each class starts with a 144-byte page
// held in line (room for at least one slot of every class) and takes further
// 4096-byte pages from the process-wide page pool, returning each page as soon
// as its last slot is freed, or all of them at once through releaseAll.
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
        PageHeader* const page = classes_[index].firstWithRoom;
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
        std::uint16_t end;  // one past the last slot; 0 for an unused in-line page
    };
    static_assert(sizeof(void*) != 4 || sizeof(PageHeader) == 16);

    struct SizeClass {
        PageHeader* firstWithRoom;
        // Full pages, chained through the same links, so that releaseAll
        // reaches every page without a list of its own on the heap.
        PageHeader* firstFull;
        alignas(8) unsigned char inlinePage[kInlinePageSize];
    };

    static PageHeader* inlineHeader(SizeClass& sizeClass) noexcept;
    static void resetClass(SizeClass& sizeClass) noexcept;
    static void pushFront(PageHeader*& head, PageHeader* page) noexcept;
    static void unlink(PageHeader*& head, PageHeader* page) noexcept;
    PageHeader* addPage(SizeClass& sizeClass, std::size_t slotSize);
    void* allocateSlow(std::size_t size);

    SizeClass classes_[kClassCount];
    std::size_t pages_ = 0;
    std::size_t slotsInUse_ = 0;
};

// A hash set of reference-counted strings under the process's keyed hash,
// starting with 8 buckets held in line and doubling whenever the count passes
// the bucket count. A text of up to kLargestInlineText bytes is kept in its
// entry's slot; a longer one on the heap.
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
    // Frees the characters of every entry and empties the table, leaving the
    // entries' slots to go with the pools' pages (SlotPools::releaseAll).
    void dropAll() noexcept;

    const InternedString* lookup(std::string_view text) const noexcept;
    std::size_t size() const noexcept { return count_; }
    std::size_t bucketCount() const noexcept { return bucketCount_; }
    // Entries in the fullest bucket: stays small whatever keys a client sends.
    std::size_t longestChain() const noexcept;

private:
    using Bucket = InternedString*;  // head of a chain

    void grow();
    void clearBuckets() noexcept;

    // Entries interned lately, by a cheap index over the text's first bytes
    // and length: a document repeats a few dozen keys thousands of times, and
    // a hit here skips the hash and the bucket. Keys chosen to share a slot
    // only make it miss.
    static constexpr std::size_t kRecentSlots = 64;
    static std::size_t recentIndex(std::string_view text, const StringHashKey& key) noexcept;

    StringHashKey key_;
    InternedString* recent_[kRecentSlots];
    Bucket* buckets_;
    std::size_t bucketCount_ = kInitialBuckets;
    std::size_t count_ = 0;
    std::size_t heapTexts_ = 0;  // entries whose text is on the heap
    Bucket inlineBuckets_[kInitialBuckets];
};

// For a few structures of the tree, the member with the largest key, kept
// only while every key the structure received since went past it: a key past
// it then needs no descent. Documents written by our own writers list members
// in key order, so readers mostly insert there. The three-word structure
// header has no room for this, and walking down to the largest member on every
// insertion costs more than it saves when keys come in another order.
class AppendHints {
public:
    // The hint for header, which is dropped: the caller gives it back through
    // remember if the structure still ends with that member.
    BindingMember* take(const StructureHeader* header) noexcept {
        Slot& slot = slots_[indexOf(header)];
        if (slot.header != header) {
            return nullptr;
        }
        slot.header = nullptr;
        return slot.last;
    }
    void remember(const StructureHeader* header, BindingMember* last) noexcept {
        slots_[indexOf(header)] = {header, last};
    }
    // For a structure that goes: another may get its header's storage.
    void forget(const StructureHeader* header) noexcept {
        Slot& slot = slots_[indexOf(header)];
        if (slot.header == header) {
            slot.header = nullptr;
        }
    }

private:
    // A reader nests structures: one slot per open level or so.
    static constexpr std::size_t kSlots = 8;

    struct Slot {
        const StructureHeader* header = nullptr;
        BindingMember* last = nullptr;
    };

    static std::size_t indexOf(const StructureHeader* header) noexcept {
        // Headers sit a few words apart in the pool pages; counting in words
        // spreads neighbours over the slots.
        return reinterpret_cast<std::uintptr_t>(header) / sizeof(void*) % kSlots;
    }

    Slot slots_[kSlots];
};

// The element arrays a tree holds on the heap, each behind a link of this
// list, so that a whole tree can free them without walking its values.
struct alignas(8) HeapLink {
    HeapLink* prev;
    HeapLink* next;
};

}  // namespace detail

// Aligned beyond what the heap promises: values keep their kind in the low
// bits of their context's address.
class alignas(BindingValue::kContextAlignment) BindingValueContext {
public:
    static BindingValueContext* create();
    // Every string and slot must have been released.
    static void destroy(BindingValueContext* context) noexcept;
    // Frees the context with whatever strings, slots and heap element arrays
    // it still holds, without releasing them one by one. Blob bytes must have
    // been freed before (blobCount tells whether there are any).
    static void discard(BindingValueContext* context) noexcept;

    // Element arrays on the heap: size bytes behind a link of the context's
    // list; null when the heap refuses.
    void* allocateHeapArray(std::size_t size) noexcept;
    void* reallocateHeapArray(void* array, std::size_t size) noexcept;
    void freeHeapArray(void* array) noexcept;

    // Blobs of the tree: their bytes are on the heap and are found by walking it.
    std::size_t& blobCount() noexcept { return blobs_; }

    BindingValueContext(const BindingValueContext&) = delete;
    BindingValueContext& operator=(const BindingValueContext&) = delete;

    detail::SlotPools& pools() noexcept { return pools_; }
    detail::StringTable& strings() noexcept { return strings_; }
    detail::AppendHints& appendHints() noexcept { return appendHints_; }

    // Inspection.
    std::size_t stringCount() const noexcept { return strings_.size(); }
    std::size_t stringBucketCount() const noexcept { return strings_.bucketCount(); }
    std::size_t longestStringChain() const noexcept { return strings_.longestChain(); }
    // References held on the interned text, 0 when it is not interned.
    std::uint32_t stringReferences(std::string_view text) const noexcept;
    // 4096-byte pages the slot pools hold, and slots currently allocated.
    std::size_t pageCount() const noexcept { return pools_.pageCount(); }
    std::size_t slotsInUse() const noexcept { return pools_.slotsInUse(); }

private:
    explicit BindingValueContext(void* block) noexcept
        : heapArrays_{&heapArrays_, &heapArrays_}, block_(block) {}
    ~BindingValueContext() = default;

    detail::SlotPools pools_;
    detail::StringTable strings_;
    detail::AppendHints appendHints_;
    detail::HeapLink heapArrays_;  // a ring through this sentinel
    std::size_t blobs_ = 0;
    void* block_;  // the heap block this context was placed in
};

}  // namespace tav

#include "binding/binding_value_context.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "binding/binding_page_pool.h"
#include "binding/string_hash.h"
#include "diag/allocation.h"

namespace tav {

namespace detail {

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

constinit InternedString gEmptyString{nullptr, "", 0, 0, 0};

namespace {

// Texts this short live in the entry's own slot, right after the entry: no
// heap call, and the comparison reads memory the entry already brought in.
constexpr std::size_t kLargestInlineText = SlotPools::kLargestSlot - sizeof(InternedString) - 1;
static_assert(SlotPools::kLargestSlot % alignof(InternedString) == 0);

// Rounded so that every slot of the class, and so every entry, is aligned.
std::size_t entrySlotSize(std::size_t length) noexcept {
    constexpr std::size_t kAlign = alignof(InternedString);
    const std::size_t size =
        sizeof(InternedString) + (length <= kLargestInlineText ? length + 1 : 0);
    return (size + kAlign - 1) / kAlign * kAlign;
}

// Equal texts of up to 16 bytes are compared with two overlapping reads from
// each side instead of a library call.
bool sameText(const char* a, const char* b, std::size_t length) noexcept {
    if (length >= 8 && length <= 16) {
        return load64(a) == load64(b) && load64(a + length - 8) == load64(b + length - 8);
    }
    if (length >= 4 && length < 8) {
        return load32(a) == load32(b) && load32(a + length - 4) == load32(b + length - 4);
    }
    if (length < 4) {
        for (std::size_t i = 0; i < length; ++i) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }
    return std::memcmp(a, b, length) == 0;
}

bool holds(const InternedString* entry, std::uint32_t hash, std::string_view text) noexcept {
    return entry->hash == hash && entry->length == text.size() &&
           sameText(entry->chars, text.data(), text.size());
}

bool onHeap(const InternedString* entry) noexcept {
    return entry->length > kLargestInlineText;
}

}  // namespace

StringTable::StringTable() noexcept : key_(stringHashKey()), recent_{}, buckets_(inlineBuckets_) {
    clearBuckets();
}

std::size_t StringTable::recentIndex(std::string_view text, const StringHashKey& key) noexcept {
    const char* bytes = text.data();
    const std::size_t length = text.size();
    std::uint64_t word;
    if (length >= 8) {
        word = load64(bytes);
    } else if (length >= 4) {
        word = load32(bytes) | (load32(bytes + length - 4) << 32);
    } else {
        word = static_cast<unsigned char>(bytes[0]) |
               (std::uint64_t{static_cast<unsigned char>(bytes[length - 1])} << 8);
    }
    return static_cast<std::size_t>(((word ^ length) * key.secret) >> 58);
}

StringTable::~StringTable() {
    assert(count_ == 0);
    if (buckets_ != inlineBuckets_) {
        diag::deallocate(buckets_);
    }
}

void StringTable::clearBuckets() noexcept {
    for (Bucket& bucket : inlineBuckets_) {
        bucket = nullptr;
    }
}

const InternedString* StringTable::lookup(std::string_view text) const noexcept {
    if (text.empty()) {
        return &gEmptyString;
    }
    const std::uint32_t hash = keyedHash(text, key_);
    for (const InternedString* entry = buckets_[hash & (bucketCount_ - 1)]; entry != nullptr;
         entry = entry->next) {
        if (holds(entry, hash, text)) {
            return entry;
        }
    }
    return nullptr;
}

InternedString* StringTable::intern(std::string_view text, SlotPools& pools) {
    if (text.empty()) {
        return &gEmptyString;
    }
    static_assert(kRecentSlots == 64, "recentIndex keeps the top 6 bits");
    InternedString*& recent = recent_[recentIndex(text, key_)];
    if (recent != nullptr && recent->length == text.size() &&
        sameText(recent->chars, text.data(), text.size())) {
        ++recent->references;
        return recent;
    }
    const std::uint32_t hash = keyedHash(text, key_);
    Bucket* bucket = &buckets_[hash & (bucketCount_ - 1)];
    for (InternedString* entry = *bucket; entry != nullptr; entry = entry->next) {
        if (holds(entry, hash, text)) {
            ++entry->references;
            recent = entry;
            return entry;
        }
    }

    const std::size_t length = text.size();
    void* slot = pools.allocate(entrySlotSize(length));
    char* chars;
    if (length <= kLargestInlineText) {
        chars = static_cast<char*>(slot) + sizeof(InternedString);
    } else {
        chars = length != static_cast<std::size_t>(-1)
                    ? static_cast<char*>(diag::allocate(length + 1))
                    : nullptr;
        if (chars == nullptr) {
            pools.deallocate(slot, entrySlotSize(length));
            diag::throwBadAlloc();
        }
        ++heapTexts_;
    }
    std::memcpy(chars, text.data(), length);
    chars[length] = '\0';
    auto* entry = new (slot) InternedString{*bucket, chars, length, hash, 1};
    *bucket = entry;
    recent = entry;
    ++count_;
    if (count_ > bucketCount_) {
        // A failed growth leaves a valid, only more loaded, table.
        try {
            grow();
        } catch (const std::bad_alloc&) {
        }
    }
    return entry;
}

std::size_t StringTable::longestChain() const noexcept {
    std::size_t longest = 0;
    for (std::size_t i = 0; i < bucketCount_; ++i) {
        std::size_t length = 0;
        for (const InternedString* entry = buckets_[i]; entry != nullptr; entry = entry->next) {
            ++length;
        }
        longest = std::max(longest, length);
    }
    return longest;
}

void StringTable::grow() {
    const std::size_t newCount = bucketCount_ * 2;
    // NOLINTNEXTLINE(bugprone-sizeof-expression): an array of chain heads
    void* memory = diag::allocate(newCount * sizeof(Bucket));
    if (memory == nullptr) {
        diag::throwBadAlloc();
    }
    auto* newBuckets = static_cast<Bucket*>(memory);
    for (std::size_t i = 0; i < newCount; ++i) {
        newBuckets[i] = nullptr;
    }
    for (std::size_t i = 0; i < bucketCount_; ++i) {
        InternedString* entry = buckets_[i];
        while (entry != nullptr) {
            InternedString* next = entry->next;
            Bucket& head = newBuckets[entry->hash & (newCount - 1)];
            entry->next = head;
            head = entry;
            entry = next;
        }
    }
    if (buckets_ != inlineBuckets_) {
        diag::deallocate(buckets_);
    }
    buckets_ = newBuckets;
    bucketCount_ = newCount;
}

void StringTable::retain(InternedString* entry) noexcept {
    if (entry != &gEmptyString) {
        ++entry->references;
    }
}

void StringTable::release(InternedString* entry, SlotPools& pools) noexcept {
    if (entry == &gEmptyString || --entry->references != 0) {
        return;
    }
    Bucket* link = &buckets_[entry->hash & (bucketCount_ - 1)];
    while (*link != entry) {
        link = &(*link)->next;
    }
    *link = entry->next;
    InternedString*& recent = recent_[recentIndex({entry->chars, entry->length}, key_)];
    if (recent == entry) {
        recent = nullptr;
    }
    if (onHeap(entry)) {
        diag::deallocate(const_cast<char*>(entry->chars));
        --heapTexts_;
    }
    const std::size_t slotSize = entrySlotSize(entry->length);
    entry->~InternedString();
    pools.deallocate(entry, slotSize);
    if (--count_ == 0 && buckets_ != inlineBuckets_) {
        diag::deallocate(buckets_);
        buckets_ = inlineBuckets_;
        bucketCount_ = kInitialBuckets;
        clearBuckets();
    }
}

void StringTable::dropAll() noexcept {
    // Most tables hold short texts only: then no chain needs a walk.
    for (std::size_t i = 0; i < bucketCount_ && heapTexts_ != 0; ++i) {
        for (const InternedString* entry = buckets_[i]; entry != nullptr; entry = entry->next) {
            if (onHeap(entry)) {
                diag::deallocate(const_cast<char*>(entry->chars));
                --heapTexts_;
            }
        }
    }
    if (buckets_ != inlineBuckets_) {
        diag::deallocate(buckets_);
        buckets_ = inlineBuckets_;
        bucketCount_ = kInitialBuckets;
    }
    clearBuckets();
    std::fill(std::begin(recent_), std::end(recent_), nullptr);
    count_ = 0;
}

}  // namespace detail

BindingValueContext* BindingValueContext::create() {
    constexpr std::size_t kAlignment = alignof(BindingValueContext);
    void* block = diag::allocate(sizeof(BindingValueContext) + kAlignment - 1);
    if (block == nullptr) {
        diag::throwBadAlloc();
    }
    const std::uintptr_t address = (reinterpret_cast<std::uintptr_t>(block) + kAlignment - 1) &
                                   ~std::uintptr_t{kAlignment - 1};
    return new (reinterpret_cast<void*>(address)) BindingValueContext(block);
}

void BindingValueContext::destroy(BindingValueContext* context) noexcept {
    void* const block = context->block_;
    context->~BindingValueContext();
    diag::deallocate(block);
}

namespace {

void linkAfter(detail::HeapLink* sentinel, detail::HeapLink* link) noexcept {
    link->prev = sentinel;
    link->next = sentinel->next;
    sentinel->next->prev = link;
    sentinel->next = link;
}

void unlink(detail::HeapLink* link) noexcept {
    link->prev->next = link->next;
    link->next->prev = link->prev;
}

detail::HeapLink* linkOf(void* array) noexcept {
    return reinterpret_cast<detail::HeapLink*>(static_cast<unsigned char*>(array) -
                                               sizeof(detail::HeapLink));
}

}  // namespace

void* BindingValueContext::allocateHeapArray(std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - sizeof(detail::HeapLink)) {
        return nullptr;
    }
    void* block = diag::allocate(sizeof(detail::HeapLink) + size);
    if (block == nullptr) {
        return nullptr;
    }
    auto* link = static_cast<detail::HeapLink*>(block);
    linkAfter(&heapArrays_, link);
    return link + 1;
}

void* BindingValueContext::reallocateHeapArray(void* array, std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - sizeof(detail::HeapLink)) {
        return nullptr;
    }
    detail::HeapLink* link = linkOf(array);
    unlink(link);
    void* block = diag::reallocate(link, sizeof(detail::HeapLink) + size);
    if (block != nullptr) {
        link = static_cast<detail::HeapLink*>(block);
    }
    linkAfter(&heapArrays_, link);  // the old block stays when the heap refuses
    return block != nullptr ? link + 1 : nullptr;
}

void BindingValueContext::freeHeapArray(void* array) noexcept {
    detail::HeapLink* link = linkOf(array);
    unlink(link);
    diag::deallocate(link);
}

// The string entries live in pool slots, so their characters are freed while
// the pages still hold them.
void BindingValueContext::discard(BindingValueContext* context) noexcept {
    detail::HeapLink* const sentinel = &context->heapArrays_;
    for (detail::HeapLink* link = sentinel->next; link != sentinel;) {
        detail::HeapLink* const next = link->next;
        diag::deallocate(link);
        link = next;
    }
    context->strings_.dropAll();
    context->pools_.releaseAll();
    destroy(context);
}

std::uint32_t BindingValueContext::stringReferences(std::string_view text) const noexcept {
    const detail::InternedString* entry = strings_.lookup(text);
    return entry != nullptr ? entry->references : 0;
}

}  // namespace tav

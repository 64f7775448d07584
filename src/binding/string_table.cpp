#include "binding/string_table.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "diag/allocation.h"

namespace tav::detail {

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

bool holds(const InternedString* entry, std::uint32_t hash, std::string_view text) noexcept {
    return entry->hash == hash && entry->length == text.size() &&
           sameBytes(entry->chars, text.data(), text.size());
}

bool onHeap(const InternedString* entry) noexcept {
    return entry->length > kLargestInlineText;
}

}  // namespace

// recent_ is left as it is: a slot is read only once its bit is set.
// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init)
StringTable::StringTable() noexcept : key_(stringHashKey()), buckets_(inlineBuckets_) {
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
    if constexpr (sizeof(std::size_t) < sizeof(std::uint64_t)) {
        // One 32-bit multiplication where a 64-bit one takes several.
        const auto folded = static_cast<std::uint32_t>(word ^ (word >> 32) ^ length);
        return (folded * (static_cast<std::uint32_t>(key.secret) | 1)) >> 26;
    } else {
        return static_cast<std::size_t>(((word ^ length) * key.secret) >> 58);
    }
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
    const std::size_t recentSlot = recentIndex(text, key_);
    const std::uint64_t recentBit = std::uint64_t{1} << recentSlot;
    InternedString*& recent = recent_[recentSlot];
    if ((recentFilled_ & recentBit) != 0 && recent->length == text.size() &&
        sameBytes(recent->chars, text.data(), text.size())) {
        ++recent->references;
        return recent;
    }
    const std::uint32_t hash = keyedHash(text, key_);
    Bucket* bucket = &buckets_[hash & (bucketCount_ - 1)];
    for (InternedString* entry = *bucket; entry != nullptr; entry = entry->next) {
        if (holds(entry, hash, text)) {
            ++entry->references;
            recent = entry;
            recentFilled_ |= recentBit;
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
    recentFilled_ |= recentBit;
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

void StringTable::release(InternedString* entry, SlotPools& pools) noexcept {
    if (entry == &gEmptyString || --entry->references != 0) {
        return;
    }
    Bucket* link = &buckets_[entry->hash & (bucketCount_ - 1)];
    while (*link != entry) {
        link = &(*link)->next;
    }
    *link = entry->next;
    const std::size_t recentSlot = recentIndex({entry->chars, entry->length}, key_);
    const std::uint64_t recentBit = std::uint64_t{1} << recentSlot;
    if ((recentFilled_ & recentBit) != 0 && recent_[recentSlot] == entry) {
        recentFilled_ &= ~recentBit;
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
    // The chains and the recent entries still point into the slots; the
    // destructor, which alone may follow, reads neither.
    count_ = 0;
}

}  // namespace tav::detail

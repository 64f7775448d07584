// The table of interned strings of one value tree: keys and string values
// share one reference-counted entry per text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_value.h"
#include "binding/slot_pools.h"
#include "binding/string_hash.h"

namespace tav::detail {

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
    static void retain(InternedString* entry) noexcept {
        if (entry != &gEmptyString) {
            ++entry->references;
        }
    }
    void release(InternedString* entry, SlotPools& pools) noexcept;
    // Frees the characters of every entry, leaving the entries' slots to go
    // with the pools' pages (SlotPools::releaseAll); only the destructor may
    // follow.
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
    std::uint64_t recentFilled_ = 0;  // bit i: recent_[i] holds an entry of this table
    Bucket* buckets_;
    std::size_t bucketCount_ = kInitialBuckets;
    std::size_t count_ = 0;
    std::size_t heapTexts_ = 0;  // entries whose text is on the heap
    Bucket inlineBuckets_[kInitialBuckets];
};

}  // namespace tav::detail

#include "binding/binding_value_context.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "binding/binding_page_pool.h"
#include "binding/fnv1a.h"
#include "binding/testing/binding_value_context_probe.h"
#include "diag/allocation.h"

using namespace tav;

namespace {

// Keys whose FNV-1a hashes all agree in their low 16 bits, as a client can
// build them: 4-character blocks that each lead the hash state from the
// offset basis back to it (in those bits), then every pair of such blocks. Under a table that picks
// buckets from those bits they share one.
std::vector<std::string> keysCollidingUnderFnv1a(std::size_t count) {
    constexpr std::uint32_t kMask = 0xFFFF;
    std::uint32_t inverse = detail::kFnvPrime;  // of the prime, modulo 2^32
    for (int i = 0; i < 5; ++i) {
        inverse *= 2 - detail::kFnvPrime * inverse;
    }
    const auto step = [](std::uint32_t state, char c) {
        return (state ^ static_cast<unsigned char>(c)) * detail::kFnvPrime;
    };
    const std::uint32_t before = (detail::kFnvOffsetBasis * inverse) & kMask;
    std::vector<std::string> blocks;
    for (char a = 'A'; a <= 'z'; ++a) {
        for (char b = 'A'; b <= 'z'; ++b) {
            for (char c = 'A'; c <= 'z'; ++c) {
                const std::uint32_t state =
                    step(step(step(detail::kFnvOffsetBasis, a), b), c) & kMask;
                const std::uint32_t last = state ^ before;  // the byte that closes the loop
                if (last >= '0' && last <= 'z') {
                    blocks.push_back({a, b, c, static_cast<char>(last)});
                }
            }
        }
    }
    std::vector<std::string> keys;
    for (std::size_t n = 0; keys.size() < count; ++n) {
        keys.push_back(blocks[n % blocks.size()] + blocks[n / blocks.size()]);
    }
    return keys;
}

}  // namespace

TEST(BindingStringTable, KeysCollidingUnderTheUnkeyedHashSpreadOverBuckets) {
    const std::vector<std::string> keys = keysCollidingUnderFnv1a(3000);
    BindingValue root;
    for (const std::string& key : keys) {
        ASSERT_EQ(detail::fnv1a(key) & 0xFFFF, detail::fnv1a(keys[0]) & 0xFFFF) << key;
        root.member(key).setString(key);
    }
    ASSERT_EQ(root.size(), keys.size());
    EXPECT_EQ(BindingValueContextProbe::stringCount(*root.context()), keys.size());
    EXPECT_EQ(BindingValueContextProbe::stringBucketCount(*root.context()), 4096u);
    // A random hash puts about ten in the fullest of 4096 buckets at worst;
    // the old one put all 3000 in one.
    EXPECT_LE(BindingValueContextProbe::longestStringChain(*root.context()), 12u);
    EXPECT_EQ(root.find(keys[1234]).asString(), keys[1234]);
    // The table shrinks only when the tree is cleared.
    root.member(keys[0]).reset();
    EXPECT_EQ(BindingValueContextProbe::stringBucketCount(*root.context()), 4096u);
    root.reset();
    EXPECT_EQ(BindingValueContextProbe::stringCount(*root.context()), 0u);
    EXPECT_EQ(BindingValueContextProbe::stringBucketCount(*root.context()), 8u);
}

TEST(BindingSlotPools, ReleaseAllGivesBackFullAndPartlyUsedPages) {
    const BindingPagePool& pagePool = BindingPagePool::instance();
    const std::size_t pagesBefore = pagePool.livePageCount();
    detail::SlotPools pools;
    std::vector<std::pair<void*, std::size_t>> slots;
    for (const std::size_t size : {std::size_t{8}, std::size_t{24}, std::size_t{72}}) {
        for (int i = 0; i < 1000; ++i) {
            slots.emplace_back(pools.allocate(size), size);
        }
    }
    // Some full pages get room again, so that pages of both kinds (and the
    // in-line pages, which stay) are in use when everything goes.
    for (std::size_t i = 0; i < slots.size(); i += 97) {
        pools.deallocate(slots[i].first, slots[i].second);
    }
    ASSERT_GT(pools.pageCount(), 3u);
    EXPECT_EQ(pagePool.livePageCount(), pagesBefore + pools.pageCount());

    pools.releaseAll();
    EXPECT_EQ(pools.pageCount(), 0u);
    EXPECT_EQ(pools.slotsInUse(), 0u);
    EXPECT_EQ(pagePool.livePageCount(), pagesBefore);

    // As new: the in-line page serves first, then pool pages as needed.
    slots[0].first = pools.allocate(slots[0].second);
    EXPECT_EQ(pools.pageCount(), 0u);
    for (std::size_t i = 1; i < 1000; ++i) {
        slots[i].first = pools.allocate(slots[i].second);
    }
    EXPECT_GT(pools.pageCount(), 0u);
    for (std::size_t i = 0; i < 1000; ++i) {
        pools.deallocate(slots[i].first, slots[i].second);
    }
    EXPECT_EQ(pools.pageCount(), 0u);
    EXPECT_EQ(pagePool.livePageCount(), pagesBefore);
}

namespace {

void buildRecords(BindingValue& list) {
    const char* keys[] = {"championId", "name", "owned", "price", "tags"};
    list.makeCollection();
    list.reserve(1000);
    for (int i = 0; i < 1000; ++i) {
        BindingValue& record = list.append();
        record.member(keys[0]).setInt32(i);
        record.member(keys[1]).setString("champion");
        record.member(keys[2]).setBool(i % 2 == 0);
        record.member(keys[3]).setDouble(4800);
        record.member(keys[4]).element(1).setString("mage");
    }
}

}  // namespace

TEST(BindingValueContext, RecordsWithRepeatedKeysAllocateNothingPerRecord) {
    BindingPagePool::instance().releaseKeptBlocks();
    ASSERT_EQ(BindingPagePool::instance().liveBlockCount(), 0u);
    const auto before = diag::readAllocationCounters();
    {
        BindingValue list;
        buildRecords(list);
        const BindingValueContext& context = *list.context();
        EXPECT_EQ(BindingValueContextProbe::stringCount(context), 7u);  // five keys, two values
        EXPECT_EQ(BindingValueContextProbe::stringReferences(context, "name"), 1000u);
        const auto built = diag::readAllocationCounters();
        // The element array of the list and the empty page pool's block
        // index: the context is a pool page, small arrays ("tags") and short
        // strings live in pool slots.
        EXPECT_EQ(built.allocations - before.allocations, 1u + 1u);
        EXPECT_GT(BindingPagePool::instance().liveBlockCount(), 0u);
    }
    BindingPagePool::instance().releaseKeptBlocks();
    const auto after = diag::readAllocationCounters();
    EXPECT_EQ(after.allocations - before.allocations, after.frees - before.frees);
    EXPECT_EQ(BindingPagePool::instance().liveBlockCount(), 0u);
}

namespace {

// Every kind, heap parts (element arrays, blob bytes, string characters, a
// grown string table) at several depths, shared strings, and subtrees reset
// or moved away so that some pages are only partly used.
BindingValue mixedTree() {
    BindingValue root;
    for (int i = 0; i < 300; ++i) {
        BindingValue& record = root.element(static_cast<std::size_t>(i));
        record.member("id").setInt32(i);
        record.member("name").setString("player " + std::to_string(i % 40));
        record.member("icon").setBlob(BindingBlob(static_cast<std::size_t>(16 + i % 50), 7));
        record.member("kind").setEnum({i % 3, nullptr});
        if (i % 10 == 0) {
            // Too long to live in its string entry.
            record.member("note").setString(std::string(60 + i % 7, 'n') + std::to_string(i));
        }
        BindingValue& history = record.member("history");
        history.element(2).setBlob(BindingBlob{1, 2, 3});
        history.element(0).member("when").setDouble(i * 0.5);
        history.element(1).element(3).setString("deep " + std::to_string(i));
        if (i % 5 == 0) {
            record.member("history").reset();
        }
        if (i % 7 == 0) {
            const BindingValue taken = std::move(record.member("icon"));
        }
    }
    return root;
}

}  // namespace

TEST(BindingValueContext, DestroyingARootFreesEveryHeapPartAndPage) {
    BindingPagePool::instance().releaseKeptBlocks();
    const auto live = [] {
        const diag::AllocationCounters counters = diag::readAllocationCounters();
        return std::pair(counters.liveAllocations(), counters.liveBytes());
    };
    const auto before = live();
    {
        BindingValue emptied;
        emptied.member("a").setString("x");
        emptied.reset();
        BindingValue text;
        text.setString("only");
        BindingValue blob;
        blob.setBlob(BindingBlob(1000, 1));
        BindingValue emptyElements;
        emptyElements.element(99);
        const BindingValue mixed = mixedTree();
        EXPECT_GT(BindingValueContextProbe::pageCount(*mixed.context()), 0u);
    }
    BindingPagePool::instance().releaseKeptBlocks();
    EXPECT_EQ(live(), before);
    EXPECT_EQ(BindingPagePool::instance().livePageCount(), 0u);
    EXPECT_EQ(BindingPagePool::instance().liveBlockCount(), 0u);
}

// A subtree that goes while its tree lives gives back exactly its own slots
// and string references.
TEST(BindingValueContext, ResettingAMemberReleasesOnlyWhatItHeld) {
    BindingValue root;
    root.member("base") = mixedTree();
    root.member("extra");
    const BindingValueContext& context = *root.context();
    const std::size_t slots = BindingValueContextProbe::slotsInUse(context);
    const std::size_t strings = BindingValueContextProbe::stringCount(context);
    const std::uint32_t references =
        BindingValueContextProbe::stringReferences(context, "player 1");
    ASSERT_GT(references, 0u);

    root.member("extra") = mixedTree();
    EXPECT_EQ(BindingValueContextProbe::stringReferences(context, "player 1"), 2 * references);
    root.member("extra").reset();
    EXPECT_EQ(BindingValueContextProbe::slotsInUse(context), slots);
    EXPECT_EQ(BindingValueContextProbe::stringCount(context), strings);
    EXPECT_EQ(BindingValueContextProbe::stringReferences(context, "player 1"), references);
    EXPECT_EQ(root.find("base"), mixedTree());
}

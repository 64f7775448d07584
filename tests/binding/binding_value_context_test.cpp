#include "binding/binding_value_context.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/binding_page_pool.h"
#include "diag/allocation.h"

using namespace tav;

TEST(BindingStringTable, HashIsFnv1a) {
    struct Row {
        const char* text;
        std::uint32_t hash;
    };
    for (const Row& row : {Row{"", 0x811c9dc5u}, Row{"a", 0xe40c292cu}, Row{"foobar", 0xbf9cf968u},
                           Row{"\xff", 0x7a0b824eu}}) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(detail::fnv1a(row.text), row.hash);
    }
}

TEST(BindingStringTable, EqualStringsOfATreeShareOneCountedEntry) {
    BindingValue root;
    root.member("a").setString("same");
    root.member("b").setString("same");
    const BindingValueContext& context = *root.context();
    EXPECT_EQ(context.stringReferences("same"), 2u);
    EXPECT_EQ(root.find("a").asCString(), root.find("b").asCString());
    EXPECT_EQ(context.stringCount(), 3u);  // "a", "b", "same"

    root.member("a").reset();
    EXPECT_EQ(context.stringReferences("same"), 1u);
    EXPECT_EQ(root.find("b").asString(), "same");
    root.member("b").setString("other");
    EXPECT_EQ(context.stringReferences("same"), 0u);
}

TEST(BindingStringTable, GrowsByDoublingAndClearsBackToEightBuckets) {
    BindingValue root;
    for (int i = 0; i < 9; ++i) {
        root.element(i).setString("s" + std::to_string(i));
    }
    EXPECT_EQ(root.context()->stringBucketCount(), 16u);
    for (int i = 9; i < 100; ++i) {
        root.element(i).setString("s" + std::to_string(i));
    }
    EXPECT_EQ(root.context()->stringCount(), 100u);
    EXPECT_EQ(root.context()->stringBucketCount(), 128u);
    root.element(0).reset();
    EXPECT_EQ(root.context()->stringBucketCount(), 128u);
    root.reset();
    EXPECT_EQ(root.context()->stringCount(), 0u);
    EXPECT_EQ(root.context()->stringBucketCount(), 8u);
}

TEST(BindingSlotPools, SlotsComeFromTheInlinePageThenFromPoolPages) {
    detail::SlotPools pools;
    std::mt19937 random(7);
    for (const std::size_t size : {std::size_t{1}, std::size_t{20}, std::size_t{72}}) {
        SCOPED_TRACE(size);
        const std::size_t slotSize = (size + 3) / 4 * 4;
        std::vector<unsigned char*> slots;
        for (int i = 0; i < 3000; ++i) {
            auto* slot = static_cast<unsigned char*>(pools.allocate(size));
            std::fill(slot, slot + slotSize, static_cast<unsigned char>(i));
            slots.push_back(slot);
        }
        EXPECT_GT(pools.pageCount(), 0u);
        std::sort(slots.begin(), slots.end());
        for (std::size_t i = 1; i < slots.size(); ++i) {
            ASSERT_GE(static_cast<std::size_t>(slots[i] - slots[i - 1]), slotSize);
        }
        // The last slot freed is the first handed out again.
        pools.deallocate(slots[5], size);
        EXPECT_EQ(pools.allocate(size), slots[5]);

        std::shuffle(slots.begin(), slots.end(), random);
        for (unsigned char* slot : slots) {
            pools.deallocate(slot, size);
        }
        EXPECT_EQ(pools.pageCount(), 0u);
        EXPECT_EQ(pools.slotsInUse(), 0u);
    }
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

TEST(BindingValueContext, RecordsWithRepeatedKeysAllocateOnlyArraysAndCharacters) {
    ASSERT_EQ(BindingPagePool::instance().liveBlockCount(), 0u);  // an idle pool holds nothing
    const auto before = diag::readAllocationCounters();
    {
        BindingValue list;
        buildRecords(list);
        const BindingValueContext& context = *list.context();
        EXPECT_EQ(context.stringCount(), 7u);  // five keys, two values
        EXPECT_EQ(context.stringReferences("name"), 1000u);
        const auto built = diag::readAllocationCounters();
        // Context, element array of the list, one array per "tags", characters
        // of seven strings, and the idle page pool's block index: nothing per
        // member.
        EXPECT_EQ(built.allocations - before.allocations, 1u + 1u + 1000u + 7u + 1u);
        EXPECT_GT(BindingPagePool::instance().liveBlockCount(), 0u);
    }
    const auto after = diag::readAllocationCounters();
    EXPECT_EQ(after.allocations - before.allocations, after.frees - before.frees);
    EXPECT_EQ(BindingPagePool::instance().liveBlockCount(), 0u);
}

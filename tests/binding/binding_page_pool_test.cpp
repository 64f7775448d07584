#include "binding/binding_page_pool.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "binding/binding_value.h"
#include "binding/binding_value_context.h"

using namespace tav;

namespace {

BindingValue largeTree(int records) {
    BindingValue list;
    for (int i = 0; i < records; ++i) {
        BindingValue& record = list.element(static_cast<std::size_t>(i));
        record.member("id").setInt32(i);
        record.member("name" + std::to_string(i % 97)).setString("v" + std::to_string(i));
        record.member("flags").setEnum({i, nullptr});
    }
    return list;
}

std::vector<void*> takePages(std::size_t count) {
    std::vector<void*> pages;
    for (std::size_t i = 0; i < count; ++i) {
        pages.push_back(BindingPagePool::instance().takePage());
    }
    return pages;
}

void returnPages(const std::vector<void*>& pages) {
    for (void* page : pages) {
        BindingPagePool::instance().returnPage(page);
    }
}

}  // namespace

TEST(BindingPagePool, HandsOutAlignedPagesAndKeepsEmptiedBlocksForReuse) {
    BindingPagePool& pool = BindingPagePool::instance();
    pool.releaseKeptBlocks();
    ASSERT_EQ(pool.liveBlockCount(), 0u);
    std::vector<void*> pages = takePages(2 * BindingPagePool::kPagesPerBlock);
    for (void* page : pages) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(page) % BindingPagePool::kPageSize, 0u);
        std::memset(page, 0xA5, BindingPagePool::kPageSize);  // committed, writable
    }
    EXPECT_EQ(pool.liveBlockCount(), 2u);
    EXPECT_EQ(pool.livePageCount(), pages.size());

    // A page given back is handed out again before any new block is reserved.
    pool.returnPage(pages[3]);
    EXPECT_EQ(pool.takePage(), pages[3]);
    pages.push_back(pool.takePage());
    EXPECT_EQ(pool.liveBlockCount(), 3u);

    // Idle, the pool keeps what that work needed, and the same work again
    // reserves nothing.
    returnPages(pages);
    EXPECT_EQ(pool.livePageCount(), 0u);
    EXPECT_EQ(pool.keptBlockCount(), 3u);
    const std::size_t reserved = pool.reservedBlockTotal();
    returnPages(takePages(pages.size()));
    EXPECT_EQ(pool.reservedBlockTotal(), reserved);

    // Idle after lighter work, it gives the surplus back.
    returnPages(takePages(3));
    EXPECT_EQ(pool.liveBlockCount(), 1u);
    pool.releaseKeptBlocks();
    EXPECT_EQ(pool.liveBlockCount(), 0u);
}

TEST(BindingPagePool, KeepsAtMostItsBoundOfEmptyBlocksWhileBusy) {
    BindingPagePool& pool = BindingPagePool::instance();
    pool.releaseKeptBlocks();
    void* const held = pool.takePage();  // the pool never falls idle
    const std::vector<void*> pages =
        takePages((BindingPagePool::kMaxKeptBlocks + 3) * BindingPagePool::kPagesPerBlock);
    returnPages(pages);
    EXPECT_EQ(pool.keptBlockCount(), BindingPagePool::kMaxKeptBlocks);
    EXPECT_EQ(pool.liveBlockCount(), BindingPagePool::kMaxKeptBlocks + 1);
    pool.returnPage(held);
    pool.releaseKeptBlocks();
    EXPECT_EQ(pool.liveBlockCount(), 0u);
}

TEST(BindingPagePool, TreesOnSeveralThreadsShareThePool) {
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 6; ++round) {
                BindingValue tree = largeTree(1500 + 500 * t);
                BindingValue copy = tree;
                tree.reset();
                // Every page of this thread's tree still holds its own data.
                const std::size_t count = copy.size();
                for (std::size_t i = 0; i < count; ++i) {
                    const BindingValue& record = copy.elementAt(i);
                    if (record.find("id").asInt64() != static_cast<std::int64_t>(i) ||
                        record.find("flags").asEnum().number != static_cast<int>(i)) {
                        ++failures[static_cast<std::size_t>(t)];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
    EXPECT_EQ(BindingPagePool::instance().livePageCount(), 0u);
    EXPECT_EQ(BindingPagePool::instance().liveBlockCount(),
              BindingPagePool::instance().keptBlockCount());
}

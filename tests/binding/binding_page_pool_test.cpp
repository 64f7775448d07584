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

}  // namespace

TEST(BindingPagePool, HandsOutAlignedPagesAndReleasesEmptyBlocks) {
    BindingPagePool& pool = BindingPagePool::instance();
    ASSERT_EQ(pool.liveBlockCount(), 0u);
    std::vector<void*> pages;
    for (std::size_t i = 0; i < 2 * BindingPagePool::kPagesPerBlock; ++i) {
        void* page = pool.takePage();
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(page) % BindingPagePool::kPageSize, 0u);
        std::memset(page, 0xA5, BindingPagePool::kPageSize);  // committed, writable
        pages.push_back(page);
    }
    EXPECT_EQ(pool.liveBlockCount(), 2u);
    EXPECT_EQ(pool.livePageCount(), pages.size());

    // A page given back is handed out again before any new block is reserved.
    pool.returnPage(pages[3]);
    EXPECT_EQ(pool.takePage(), pages[3]);
    pages.push_back(pool.takePage());
    EXPECT_EQ(pool.liveBlockCount(), 3u);

    for (void* page : pages) {
        pool.returnPage(page);
    }
    EXPECT_EQ(pool.liveBlockCount(), 0u);
    EXPECT_EQ(pool.livePageCount(), 0u);
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
    EXPECT_EQ(BindingPagePool::instance().liveBlockCount(), 0u);
}

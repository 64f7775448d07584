// No exception reaches the host: every allocation inside a host-callable
// function is made to fail in turn (the N-th, for every N the call makes), and
// each call must come back with its contract's failure value instead. The
// global operator new of this program and the framework's allocation hooks
// share one countdown.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include <tav/plugin_abi.h>

#include "diag/allocation.h"
#include "fake_host.h"
#include "host_records.h"

// The replacement operator new below allocates with malloc, so freeing its
// blocks is right; gcc cannot see that once it inlines them.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {

// Allocations left before the failing one; negative when disarmed. When
// memory is exhausted, every allocation from the failing one on fails.
std::atomic<long> allocationsLeft{-1};
std::atomic<bool> failed{false};
std::atomic<bool> exhausted{false};

bool failNow() {
    long left = allocationsLeft.load();
    while (left >= 0) {
        if (left == 0 && exhausted) {
            failed = true;
            return true;
        }
        if (allocationsLeft.compare_exchange_weak(left, left - 1)) {
            if (left == 0) {
                failed = true;
                return true;
            }
            return false;
        }
    }
    return false;
}

const tav::diag::AllocationHooks& counting() {
    static const tav::diag::AllocationHooks hooks = tav::diag::countingAllocationHooks();
    return hooks;
}
void* hookAllocate(std::size_t size, void* userData) {
    return failNow() ? nullptr : counting().allocate(size, userData);
}
void* hookReallocate(void* block, std::size_t size, void* userData) {
    return failNow() ? nullptr : counting().reallocate(block, size, userData);
}
char* hookDuplicateText(const char* text, void* userData) {
    return failNow() ? nullptr : counting().duplicateText(text, userData);
}

// Runs call with the N-th allocation failing, for N = 0, 1, ... until a run
// makes no failing allocation; setUp and tearDown run disarmed around it.
template <class SetUp, class Call, class TearDown>
int failEachAllocation(SetUp setUp, Call call, TearDown tearDown) {
    tav::diag::AllocationHooks hooks = tav::diag::countingAllocationHooks();
    hooks.allocate = hookAllocate;
    hooks.reallocate = hookReallocate;
    hooks.duplicateText = hookDuplicateText;
    tav::diag::installAllocationHooks(hooks);
    int runs = 0;
    for (long n = 0;; ++n, ++runs) {
        auto state = setUp();
        failed = false;
        allocationsLeft = n;
        call(state);
        allocationsLeft = -1;
        tearDown(state);
        if (!failed) {
            break;
        }
    }
    tav::diag::installAllocationHooks(tav::diag::countingAllocationHooks());
    return runs;
}

struct Loaded {
    TavLoadRecord record{};
    tav::testing::FakeHost* host = nullptr;
};

Loaded load() {
    Loaded loaded;
    loaded.record.apiMajor = 18;
    load_tav_champ_select(&loaded.record);
    loaded.host = new tav::testing::FakeHost();
    return loaded;
}

Loaded loadAndInit() {
    Loaded loaded = load();
    const TavInitRecord init = loaded.host->initRecord();
    loaded.record.callbacks->init(loaded.record.context, &init);
    return loaded;
}

void unload(Loaded& loaded) {
    if (loaded.record.callbacks != nullptr) {
        loaded.record.callbacks->shutdown(loaded.record.context);
    }
    delete loaded.host;
}

}  // namespace

void* operator new(std::size_t size) {
    if (failNow()) {
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

// Either the whole record is filled or, without memory for the plugin object
// or its parts, none of it: the host's record stays as it was.
TEST(HostBoundary, LoadWithEveryAllocationFailingInTurn) {
    const TavLoadRecord before{18, 1, 2, nullptr, nullptr, nullptr, nullptr};
    const int runs = failEachAllocation(
        [&] { return before; }, [](TavLoadRecord& record) { load_tav_champ_select(&record); },
        [&](TavLoadRecord& record) {
            if (record.context != nullptr) {
                EXPECT_NE(+record.callbacks, nullptr);
                record.callbacks->shutdown(record.context);
            } else {
                EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
            }
        });
    EXPECT_GT(runs, 10);
}

TEST(HostBoundary, InitWithEveryAllocationFailingInTurn) {
    int succeeded = 0;
    const int runs = failEachAllocation(
        load,
        [&](Loaded& loaded) {
            const TavInitRecord init = loaded.host->initRecord();
            const std::uint8_t result = loaded.record.callbacks->init(loaded.record.context, &init);
            EXPECT_LE(result, 1u);
            succeeded += result;
        },
        unload);
    EXPECT_GT(runs, 10);
    EXPECT_GE(succeeded, 1);  // the last run, at least
}

TEST(HostBoundary, EventsAndMemoryStatsWithEveryAllocationFailingInTurn) {
    const int runs = failEachAllocation(
        loadAndInit,
        [](Loaded& loaded) {
            // Straight to the plugin's callback: the fake host's own
            // bookkeeping allocates too.
            TavHostValue payload{};
            payload.tag = TAV_HOST_OBJECT;
            tav::testing::deliverToAll(loaded.host->subscriptions(), payload);
            std::uint32_t words[14] = {};
            loaded.record.callbacks->memoryStats(loaded.record.context, words);
        },
        unload);
    EXPECT_GT(runs, 3);
}

// The N-th allocation fails, alone or with every one after it (memory
// exhausted). Each answer is either the request's own or an error with its
// text: an error flag without a text is read as success by a requester.
TEST(HostBoundary, ARequestWithEveryAllocationFailingInTurn) {
    const std::string path = "/tav-champ-select/v1/session/my-selection";
    const std::string body = R"({"spell1Id": 4, "selectedSkinId": 7})";
    for (const bool exhaust : {false, true}) {
        SCOPED_TRACE(exhaust ? "memory exhausted" : "one allocation fails");
        exhausted = exhaust;
        int answered = 0;
        int silentErrors = 0;
        const int runs = failEachAllocation(
            [] {
                Loaded loaded = loadAndInit();
                // The legacy implementation is active, so the request is
                // forwarded.
                tav::testing::deliverToAll(
                    loaded.host->subscriptions(),
                    tav::testing::implementationActive("/tav-champ-select-legacy/", true).root());
                return loaded;
            },
            [&](Loaded& loaded) {
                const TavEndpointRecord* endpoint =
                    tav::testing::findEndpoint(loaded.record.endpointTable, TAV_METHOD_PATCH, path);
                ASSERT_NE(endpoint, nullptr);
                const TavRequest request =
                    tav::testing::requestTo(*endpoint, path.c_str(), body, "application/json");
                TavResponse response{};
                endpoint->entry(&response, &request);
                // Counted only: a failing expectation would allocate here.
                answered += response.isError == 0 ? 1 : 0;
                silentErrors += response.isError != 0 && response.errorText == nullptr ? 1 : 0;
                ASSERT_NE(+response.release, nullptr);
                response.release(&response);
            },
            unload);
        exhausted = false;
        EXPECT_GT(runs, 5);      // trees and short strings take no heap block of their own
        EXPECT_GE(answered, 1);  // the last run, at least
        EXPECT_EQ(silentErrors, 0);
    }
}

// Requests on several host threads while implementation-active events flip
// the active implementation on another: every request is answered for one
// implementation or for none, and nothing races (run it under tsan).
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <tav/plugin_abi.h>

#include "host_records.h"
#include "hostkit/event_host.h"

namespace {

// A host table safe to call from many threads: it answers every request with
// nothing and counts where requests went.
class ThreadSafeHost final : public tav::hostkit::EventHost {
public:
    std::atomic<int> toLegacy{0};
    std::atomic<int> toTeamBuilder{0};

private:
    void sendRequest(TavResponse&, const TavRequest& request) override {
        const std::string_view url = request.url;
        if (url.starts_with("/tav-champ-select-legacy/v1/session/my-selection")) {
            ++toLegacy;
        } else if (url.starts_with(
                       "/tav-lobby-team-builder/champ-select/v1/session/my-selection")) {
            ++toTeamBuilder;
        }
    }
    void subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                   void* userData, std::uint32_t flag) override {
        std::lock_guard lock(mutex_);
        EventHost::subscribe(name, hostContext, callback, userData, flag);
    }
    void unsubscribe(std::string_view name, void* hostContext) override {
        std::lock_guard lock(mutex_);
        EventHost::unsubscribe(name, hostContext);
    }

    std::mutex mutex_;
};

}  // namespace

TEST(FacadeConcurrency, RequestsWhileTheActiveImplementationFlips) {
    ThreadSafeHost host;
    TavLoadRecord record{};
    record.apiMajor = 18;
    load_tav_champ_select(&record);
    ASSERT_NE(+record.callbacks, nullptr);
    const TavInitRecord init = host.initRecord(nullptr);
    ASSERT_EQ(record.callbacks->init(record.context, &init), 1);

    constexpr const char* kPath = "/tav-champ-select/v1/session/my-selection";
    const TavEndpointRecord* selection =
        tav::testing::findEndpoint(record.endpointTable, TAV_METHOD_PATCH, kPath);
    ASSERT_NE(selection, nullptr);

    constexpr int kThreads = 3;
    constexpr int kRequests = 300;
    std::atomic<int> answered{0};
    std::atomic<int> noDelegate{0};
    std::atomic<bool> unexpected{false};
    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            const TavRequest request = tav::testing::requestTo(
                *selection, kPath, R"({"spell1Id": 4})", "application/json");
            for (int i = 0; i < kRequests; ++i) {
                TavResponse response{};
                selection->entry(&response, &request);
                if (response.isError == 0) {
                    ++answered;
                } else if (response.status == 404 &&
                           std::strcmp(response.errorText, "No active delegate") == 0) {
                    ++noDelegate;
                } else {
                    unexpected = true;
                }
                response.release(&response);
            }
            ++finished;
        });
    }
    // One event thread, as the host delivers a plugin's events one at a time,
    // flipping for as long as requests run (legacy every third time, on every
    // other time).
    const tav::HostValueRecord payloads[2][2] = {
        {tav::testing::implementationActive("/tav-lobby-team-builder/champ-select/", false),
         tav::testing::implementationActive("/tav-lobby-team-builder/champ-select/", true)},
        {tav::testing::implementationActive("/tav-champ-select-legacy/", false),
         tav::testing::implementationActive("/tav-champ-select-legacy/", true)}};
    int flips = 0;
    for (; finished < kThreads || flips < 100; ++flips) {
        tav::testing::deliverToAll(host.subscriptions(),
                                   payloads[flips % 3 == 0][flips % 2 == 0].root());
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    record.callbacks->shutdown(record.context);

    EXPECT_FALSE(unexpected);
    EXPECT_EQ(answered + noDelegate, kThreads * kRequests);
    EXPECT_EQ(host.toLegacy + host.toTeamBuilder, answered.load());
}

#include "framework/resource_events.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "binding/host_value.h"
#include "binding/native_conversion.h"
#include "binding/record_description.h"
#include "fake_host.h"
#include "formats/json.h"
#include "framework/plugin_base.h"
#include "framework/plugin_loader.h"
#include "framework/resource_listener.h"
#include "plugin_start.h"

namespace {

using tav::PluginResourceEvent;
using tav::PluginResourceEventType;
using tav::readJson;
using tav::ResourceEvent;

struct Sample {
    std::string name = "unset";
    std::int32_t count = -1;
};

constexpr auto describe(tav::BindingDescribe<Sample>) {
    return tav::record(tav::field("name", &Sample::name), tav::field("count", &Sample::count));
}

TEST(EventNameForUri, DerivesTheHostEventName) {
    struct Row {
        const char* uri;
        const char* expected;
    };
    const Row rows[] = {
        {"/tav-champ-select/v1/session/timer", "OnJsonApiEvent_tav-champ-select_v1_session"},
        {"/tav-platform-config/v1/namespaces/A/B/C",
         "OnJsonApiEvent_tav-platform-config_v1_namespaces_A_B"},
        {"/tav-platform-config", "OnJsonApiEvent_tav-platform-config"},
        // Only the first piece selects the longer form.
        {"/a/tav-platform-config/b/c/d", "OnJsonApiEvent_a_tav-platform-config_b"},
        {"/tav-platform-configs/v1/a/b/c", "OnJsonApiEvent_tav-platform-configs_v1_a"},
        {"/x/y", "OnJsonApiEvent_x_y"},
        {"x/v1/a", "OnJsonApiEvent_x_v1_a"},
        {"//x//v1///a/b/", "OnJsonApiEvent_x_v1_a"},
        {"/", "OnJsonApiEvent"},
        {"", "OnJsonApiEvent"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.uri);
        EXPECT_EQ(tav::eventNameForUri(row.uri), row.expected);
    }
}

TEST(UriPatternMatches, StarStandsForOnePathPiece) {
    struct Row {
        const char* pattern;
        const char* uri;
        bool matches;
    };
    const Row rows[] = {
        {"/a/*/c", "/a/b/c", true},
        {"/a/*/c", "/a/bcd/c", true},
        {"/a/*/c", "/a//c", true},
        {"/a/*/c", "/a/b/x/c", false},
        {"/a/*", "/a/b", true},
        {"/a/*", "/a/", false},
        {"/a/*", "/a/b/c", false},
        {"/a/*/*", "/a/b/c", true},
        {"/a/b", "/a/b", true},
        {"/a/b", "/a/bc", false},
        {"/a/bc", "/a/b", false},
        // No backtracking: a star cannot end inside a piece.
        {"/a/*x", "/a/bx", false},
        {"*", "abc", true},
        {"*", "", false},
        {"", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.pattern) + " against " + row.uri);
        EXPECT_EQ(tav::uriPatternMatches(row.pattern, row.uri), row.matches);
    }
}

struct TestPlugin : tav::PluginBase {};

// A plugin loaded and initialised against a fake host, as the host would.
class PluginEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugin_ = new TestPlugin;
        ASSERT_TRUE(tav::testing::startPlugin(*plugin_, host_));
        tav::registerRecord<Sample>(plugin_->registry(), {.name = "TavTestSample"});
        host_.calls.clear();
    }
    void TearDown() override { delete plugin_; }

    // Delivers a resource event under the name of its URI, as the host does.
    void deliver(const std::string& uri, PluginResourceEventType type,
                 const tav::BindingValue& data) {
        PluginResourceEvent event;
        event.uri = uri;
        event.eventType = type;
        event.data = data;
        host_.deliver(tav::eventNameForUri(uri), hostRecord(event).root());
    }

    tav::HostValueRecord hostRecord(const PluginResourceEvent& event) {
        const tav::BindingResult value = tav::toValue(event, plugin_->registry());
        EXPECT_TRUE(value.ok) << value.error();
        return record(value.value);
    }

    static tav::HostValueRecord record(const tav::BindingValue& value) {
        tav::HostValueRecord record;
        EXPECT_TRUE(tav::valueToHost(nullptr, record, value));
        return record;
    }

    std::size_t hostSubscriptions(const std::string& name) const {
        return static_cast<std::size_t>(
            std::count_if(host_.subscriptions().begin(), host_.subscriptions().end(),
                          [&](const auto& s) { return s.name == name; }));
    }

    tav::testing::FakeHost host_;
    TestPlugin* plugin_ = nullptr;
};

TEST_F(PluginEventsTest, SubscriptionsAreCountedPerEventName) {
    const std::string name = "OnJsonApiEvent_x_v1_a";
    plugin_->Unsubscribe("/x/v1/a");  // never subscribed
    EXPECT_TRUE(host_.calls.empty());

    int calls = 0;
    plugin_->events().addRawResourceListener("/x/v1/a",
                                             [&](const PluginResourceEvent&) { ++calls; });
    plugin_->Subscribe("/x/v1/a/b");
    ASSERT_EQ(hostSubscriptions(name), 1u);
    const tav::testing::RecordedSubscription& subscription = host_.subscriptions().back();
    EXPECT_EQ(subscription.hostContext, reinterpret_cast<void*>(0x5EED));
    EXPECT_EQ(subscription.callback, &tav::EventSubscriptions::hostEventCallback);
    EXPECT_EQ(subscription.userData, plugin_);
    EXPECT_EQ(subscription.flag, 0u);
    EXPECT_EQ(plugin_->events().subscriptionCount(name), 2u);

    plugin_->Unsubscribe("/x/v1/a/b");
    EXPECT_TRUE(host_.unsubscribed.empty());
    EXPECT_TRUE(plugin_->events().hasEventHandler(name));

    plugin_->Unsubscribe("/x/v1/a");
    plugin_->Unsubscribe("/x/v1/a");  // one too many: no second host call
    EXPECT_EQ(host_.unsubscribed, std::vector<std::string>{name});
    EXPECT_FALSE(plugin_->events().hasEventHandler(name));

    // The listener stayed and hears the resource once subscribed again.
    plugin_->Subscribe("/x/v1/a");
    deliver("/x/v1/a", PluginResourceEventType::Update, tav::BindingValue());
    EXPECT_EQ(calls, 1);
}

TEST_F(PluginEventsTest, EventReachesExactThenMatchingPatternListenersInAddedOrder) {
    std::vector<std::string> seen;
    const auto listener = [&](std::string label) {
        return [&seen, label](const PluginResourceEvent& event) {
            seen.push_back(label + " " + event.uri);
        };
    };
    plugin_->events().addRawResourceListener("/x/*/a/b", listener("pattern1"));
    plugin_->events().addRawResourceListener("/y/*", listener("unrelated"));
    plugin_->events().addRawResourceListener("/x/v1/*/b", listener("pattern2"));
    plugin_->events().addRawResourceListener("/x/v1/a/b", listener("exact"));
    plugin_->events().addRawResourceListener("/x/v1/a", listener("parent"));
    // Replacing a pattern keeps its place.
    plugin_->events().addRawResourceListener("/x/*/a/b", listener("pattern1'"));

    // Without its leading slash, as some publishers send it.
    deliver("x/v1/a/b", PluginResourceEventType::Update, tav::BindingValue());
    EXPECT_EQ(seen, (std::vector<std::string>{"exact /x/v1/a/b", "pattern1' /x/v1/a/b",
                                              "pattern2 /x/v1/a/b"}));
}

TEST_F(PluginEventsTest, TypedListenerConvertsDataOrDropsTheEvent) {
    struct Row {
        const char* label;
        PluginResourceEventType type;
        tav::BindingValue data;
        bool delivered;
        const char* name;
        std::int32_t count;
    };
    const tav::BindingValue sample = readJson(R"({"name": "b", "count": 2})").value;
    const Row rows[] = {
        {"update", PluginResourceEventType::Update, sample, true, "b", 2},
        {"delete with data", PluginResourceEventType::Delete, sample, true, "unset", -1},
        {"update without data", PluginResourceEventType::Update, {}, false, "", 0},
        {"update of another shape", PluginResourceEventType::Update, readJson(R"("x")").value,
         false, "", 0},
    };

    std::vector<ResourceEvent<Sample>> received;
    int rawCalls = 0;
    // The star lies beyond the pieces the event name keeps, so the pattern
    // is subscribed under the name its resources are published under.
    tav::AddResourceListener<Sample>(
        *plugin_, "/x/v1/a/*",
        [&](const ResourceEvent<Sample>& event) { received.push_back(event); });
    // A listener whose conversion fails does not cost the others their event.
    plugin_->events().addRawResourceListener("/x/v1/a/b",
                                             [&](const PluginResourceEvent&) { ++rawCalls; });

    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        received.clear();
        rawCalls = 0;
        deliver("/x/v1/a/b", row.type, row.data);
        EXPECT_EQ(rawCalls, 1);
        if (!row.delivered) {
            EXPECT_TRUE(received.empty());
            continue;
        }
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].uri, "/x/v1/a/b");
        EXPECT_EQ(received[0].eventType, row.type);
        EXPECT_EQ(received[0].data.name, row.name);
        EXPECT_EQ(received[0].data.count, row.count);
    }
}

TEST_F(PluginEventsTest, PlainUriListenerReadsTheCurrentStateOnce) {
    struct Row {
        const char* uriOrPattern;
        bool readSucceeds;
        std::size_t requests;
        std::size_t creates;
    };
    const Row rows[] = {
        {"/x/v1/a", true, 1, 1},
        {"/x/v1/a", false, 1, 0},  // not there yet: nothing delivered, nothing logged
        {"/x/v1/*", true, 0, 0},
    };
    const tav::HostValueRecord value = record(readJson(R"({"name": "now", "count": 9})").value);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.uriOrPattern) + (row.readSucceeds ? " read" : " failing"));
        host_.requests.clear();
        host_.answer = [&](TavResponse& response, const tav::testing::RecordedRequest&) {
            if (row.readSucceeds) {
                response.value = value.root();
            } else {
                response.errorText = "Not found";
                response.isError = 1;
                response.status = 404;
            }
        };
        const std::size_t logged = host_.logLines.size();
        std::vector<ResourceEvent<Sample>> received;
        tav::AddResourceListener<Sample>(
            *plugin_, row.uriOrPattern,
            [&](const ResourceEvent<Sample>& event) { received.push_back(event); });

        ASSERT_EQ(host_.requests.size(), row.requests);
        if (row.requests != 0) {
            EXPECT_EQ(host_.requests[0].method, 2u);
            EXPECT_EQ(host_.requests[0].url, row.uriOrPattern);
        }
        ASSERT_EQ(received.size(), row.creates);
        if (row.creates != 0) {
            EXPECT_EQ(received[0].uri, row.uriOrPattern);
            EXPECT_EQ(received[0].eventType, PluginResourceEventType::Create);
            EXPECT_EQ(received[0].data.name, "now");
            EXPECT_EQ(received[0].data.count, 9);
        }
        EXPECT_EQ(host_.logLines.size(), logged);
    }
    // A pattern's event name keeps its star: what it reaches is up to the host.
    EXPECT_EQ(hostSubscriptions("OnJsonApiEvent_x_v1_*"), 1u);
}

TEST_F(PluginEventsTest, UndeliverableHostEventsAreIgnored) {
    int calls = 0;
    plugin_->events().addRawResourceListener("/x/v1/a",
                                             [&](const PluginResourceEvent&) { ++calls; });
    const tav::HostValueRecord valid = record(readJson(R"({"uri": "/x/v1/a"})").value);
    const tav::HostValueRecord notARecord = record(readJson(R"("x")").value);
    TavHostValue badTag{};
    badTag.tag = 99;
    host_.calls.clear();

    struct Row {
        const char* label;
        const char* name;
        TavHostValue payload;
    };
    const Row rows[] = {
        {"name without handler", "OnJsonApiEvent_y_v1_a", valid.root()},
        {"payload tag out of range", "OnJsonApiEvent_x_v1_a", badTag},
        {"payload not a resource event", "OnJsonApiEvent_x_v1_a", notARecord.root()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TavHostEvent event{};
        event.name = row.name;
        event.payload = row.payload;
        event.userData = plugin_;
        tav::EventSubscriptions::hostEventCallback(&event);
        EXPECT_EQ(calls, 0);
    }
    EXPECT_TRUE(host_.calls.empty());
}

// The data is read apart from the rest of the event, yet nests only as deep
// as it could as a member of the whole payload; a payload that names its data
// twice is read as a whole, the last one winning.
TEST_F(PluginEventsTest, EventDataIsBoundedAsAMemberOfThePayload) {
    std::vector<tav::BindingValue> received;
    plugin_->events().addRawResourceListener(
        "/x/v1/a", [&](const PluginResourceEvent& event) { received.push_back(event.data); });

    constexpr std::size_t kDeepest = 512;  // levels below the payload's root
    std::vector<TavHostValue> chain(kDeepest + 1);
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i].tag = TAV_HOST_ARRAY;
        chain[i].payload.array.elements = &chain[i + 1];
        chain[i].payload.array.count = 1;
    }
    const tav::HostValueRecord uri = record(readJson(R"("/x/v1/a")").value);
    const tav::HostValueRecord one = record(readJson("-1").value);
    const tav::HostValueRecord two = record(readJson("-2").value);
    struct Row {
        const char* label;
        std::vector<TavHostValue> data;
        const char* received;  // its kind, null when dropped
    };
    const Row rows[] = {
        {"as deep as the bound", {chain[1]}, "collection"},
        {"one level deeper", {chain[0]}, nullptr},
        {"named twice", {one.root(), two.root()}, "signed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        received.clear();
        std::vector<TavHostEntry> entries = {{"uri", uri.root(), 1}};
        for (const TavHostValue& data : row.data) {
            entries.push_back({"data", data, 1});
        }
        TavHostValue payload{};
        payload.tag = TAV_HOST_OBJECT;
        payload.payload.object.entries = entries.data();
        payload.payload.object.count = static_cast<std::uint32_t>(entries.size());
        host_.deliver("OnJsonApiEvent_x_v1_a", payload);
        ASSERT_EQ(received.size(), row.received != nullptr ? 1u : 0u);
        if (row.received != nullptr) {
            EXPECT_EQ(received[0].kindName(), std::string_view(row.received));
            EXPECT_EQ(received[0].asInt64(), row.data.size() == 2 ? -2 : 0);
        }
    }
}

TEST_F(PluginEventsTest, ListenerMayReplaceOrUnsubscribeItselfWhileHandling) {
    std::vector<std::string> seen;
    // Labels long enough to live on the heap, so that a listener destroyed
    // while it runs shows up under the address sanitizer.
    const std::string first = "first listener, replaced while running";
    const std::string second = "second listener, unsubscribing while running";
    plugin_->events().addRawResourceListener("/x/v1/a", [&, first](const PluginResourceEvent&) {
        plugin_->events().addRawResourceListener("/x/v1/a",
                                                 [&, second](const PluginResourceEvent&) {
                                                     plugin_->Unsubscribe("/x/v1/a");
                                                     plugin_->Unsubscribe("/x/v1/a");
                                                     seen.push_back(second);
                                                 });
        seen.push_back(first);
    });
    deliver("/x/v1/a", PluginResourceEventType::Update, tav::BindingValue());
    deliver("/x/v1/a", PluginResourceEventType::Update, tav::BindingValue());
    EXPECT_EQ(seen, (std::vector<std::string>{first, second}));
    EXPECT_FALSE(plugin_->events().hasEventHandler("OnJsonApiEvent_x_v1_a"));
    EXPECT_EQ(hostSubscriptions("OnJsonApiEvent_x_v1_a"), 0u);
}

TEST_F(PluginEventsTest, ExceptionOfAListenerStopsAtTheHostBoundary) {
    plugin_->events().addRawResourceListener("/x/v1/a", tav::ResourceHandler());
    PluginResourceEvent event;
    event.uri = "/x/v1/a";
    EXPECT_THROW(plugin_->events().dispatchResourceEvent(event), std::bad_function_call);

    const std::size_t logged = host_.logLines.size();
    EXPECT_NO_THROW(deliver("/x/v1/a", PluginResourceEventType::Update, tav::BindingValue()));
    ASSERT_EQ(host_.logLines.size(), logged + 1);
    EXPECT_EQ(host_.logLines.back().first, 2);
    EXPECT_TRUE(host_.logLines.back().second.starts_with(
        "HostEventCallback OnJsonApiEvent_x_v1_a: caught exception at the host boundary: "));
}

TEST_F(PluginEventsTest, ShutdownDropsEverySubscriptionAndClearsTheTables) {
    int calls = 0;
    plugin_->events().addRawResourceListener("/x/v1/a",
                                             [&](const PluginResourceEvent&) { ++calls; });
    plugin_->events().addRawResourceListener("/y/v1/*",
                                             [&](const PluginResourceEvent&) { ++calls; });
    plugin_->serviceProxy().registerWaitingRequest("uuid", [](const auto&) {});
    plugin_->serviceProxy().storeAndFulfil("stored", tav::PluginServiceProxyResponse{}, "tav-test");
    host_.unsubscribed.clear();

    plugin_->Shutdown();

    // In byte order of the names, whatever order they were subscribed in.
    EXPECT_EQ(host_.unsubscribed,
              (std::vector<std::string>{"OnJsonApiEvent_x_v1_a", "OnJsonApiEvent_y_v1_*",
                                        "OnServiceProxyAsyncEvent", "OnServiceProxyMethodEvent",
                                        "OnServiceProxyUuidEvent"}));
    EXPECT_TRUE(host_.subscriptions().empty());
    EXPECT_EQ(plugin_->events().subscriptionCount("OnJsonApiEvent_x_v1_a"), 0u);
    EXPECT_FALSE(plugin_->events().hasEventHandler("OnServiceProxyUuidEvent"));
    EXPECT_EQ(plugin_->serviceProxy().waitingCount(), 0u);
    EXPECT_EQ(plugin_->serviceProxy().storedCount(), 0u);

    PluginResourceEvent event;
    event.uri = "/x/v1/a";
    plugin_->events().dispatchResourceEvent(event);
    event.uri = "/y/v1/b";
    plugin_->events().dispatchResourceEvent(event);
    EXPECT_EQ(calls, 0);
}

// The host keeps the plugin's address as the user data of its
// subscriptions; a delivery that comes after Shutdown (one it had queued, or
// one racing Shutdown on another thread) must find the plugin gone rather
// than read freed memory. AddressSanitizer and ThreadSanitizer builds see
// the faults this guards against.
TEST_F(PluginEventsTest, DeliveriesAfterShutdownAreDropped) {
    std::atomic<int> calls{0};
    plugin_->events().addRawResourceListener("/x/v1/a",
                                             [&](const PluginResourceEvent&) { ++calls; });
    PluginResourceEvent valid;
    valid.uri = "/x/v1/a";
    const tav::HostValueRecord record = hostRecord(valid);
    TavHostEvent event{};
    event.name = "OnJsonApiEvent_x_v1_a";
    event.payload = record.root();
    event.userData = plugin_;

    // Deliveries on another thread until the plugin is gone, and a late one.
    std::atomic<bool> started{false};
    std::atomic<bool> stop{false};
    std::thread racing([&] {
        while (!stop) {
            tav::EventSubscriptions::hostEventCallback(&event);
            started = true;
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    ::testing::internal::CaptureStderr();
    tav::PluginLoader::Shutdown(std::exchange(plugin_, nullptr));
    const int delivered = calls;
    stop = true;
    racing.join();
    tav::EventSubscriptions::hostEventCallback(&event);

    EXPECT_GT(delivered, 0);
    EXPECT_EQ(calls, delivered);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                  "Dropped event OnJsonApiEvent_x_v1_a: its plugin has shut down"),
              std::string::npos);
}

}  // namespace

#include "framework/service_proxy.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "binding/host_value.h"
#include "binding/native_conversion.h"
#include "fake_host.h"
#include "framework/plugin_base.h"
#include "plugin_start.h"

namespace {

using tav::PluginServiceProxyResponse;
using LogLine = std::pair<std::int32_t, std::string>;

struct TestPlugin : tav::PluginBase {};

PluginServiceProxyResponse answer(std::string uuid, std::string service, std::string method,
                                  std::string payload) {
    PluginServiceProxyResponse a;
    a.uuid = std::move(uuid);
    a.serviceName = std::move(service);
    a.methodName = std::move(method);
    a.payload = std::move(payload);
    return a;
}

// The three service-proxy events reach the tables through the host, as Init
// subscribed them; log lines arrive in the host's log.
class ServiceProxyTest : public ::testing::Test {
protected:
    void SetUp() override {
        plugin_ = new TestPlugin;
        ASSERT_TRUE(tav::testing::startPlugin(*plugin_, host_));
        host_.logLines.clear();
    }
    void TearDown() override { delete plugin_; }

    void deliver(const char* eventName, const PluginServiceProxyResponse& a) {
        const tav::BindingResult value = tav::toValue(a, plugin_->registry());
        ASSERT_TRUE(value.ok) << value.error();
        tav::HostValueRecord record;
        ASSERT_TRUE(tav::valueToHost(&plugin_->registry(), record, value.value));
        host_.deliver(eventName, record.root());
    }
    void deliverUuid(const PluginServiceProxyResponse& a) { deliver("OnServiceProxyUuidEvent", a); }
    void deliverMethod(const PluginServiceProxyResponse& a) {
        deliver("OnServiceProxyMethodEvent", a);
    }

    tav::ServiceProxyTables& tables() { return plugin_->serviceProxy(); }

    tav::testing::FakeHost host_;
    TestPlugin* plugin_ = nullptr;
};

// Init subscribed the three events (names and flag: the module test);
// subscribing again replaces the handlers without a second host subscription.
TEST_F(ServiceProxyTest, SubscribingAgainAddsNoHostSubscription) {
    plugin_->events().subscribeServiceProxyEvents();
    EXPECT_EQ(host_.subscriptions().size(), 3u);
}

TEST_F(ServiceProxyTest, AnswerWithoutWaitingRequestStaysStoredAndIsReplaced) {
    deliverUuid(answer("u1", "svc", "get", "first"));
    deliverUuid(answer("u1", "svc", "get", "second"));
    deliverMethod(answer("", "svc", "get", "by method"));
    EXPECT_EQ(tables().storedCount(), 2u);
    EXPECT_TRUE(tables().hasStored("u1"));
    EXPECT_TRUE(tables().hasStored("svc.get"));
    EXPECT_TRUE(host_.logLines.empty());

    // A request registered late is served by the next answer to arrive, with
    // the latest answer stored under its key.
    std::vector<std::string> served;
    tables().registerWaitingRequest(
        "u1", [&](const PluginServiceProxyResponse& a) { served.push_back(a.payload); });
    deliverUuid(answer("u2", "svc", "other", "unrelated"));
    EXPECT_EQ(served, std::vector<std::string>{"second"});
    EXPECT_FALSE(tables().hasStored("u1"));
    EXPECT_TRUE(tables().hasStored("u2"));
    EXPECT_EQ(tables().waitingCount(), 0u);
}

TEST_F(ServiceProxyTest, MethodAnswerFulfilsItsWaitingRequestAndLogs) {
    std::vector<PluginServiceProxyResponse> served;
    tables().registerWaitingRequest(
        "svc.get", [&](const PluginServiceProxyResponse& a) { served.push_back(a); });

    deliverMethod(answer("u9", "svc", "get", "{\"ok\":true}"));

    ASSERT_EQ(served.size(), 1u);
    EXPECT_EQ(served[0].uuid, "u9");
    EXPECT_EQ(served[0].payload, "{\"ok\":true}");
    EXPECT_EQ(tables().storedCount(), 0u);
    EXPECT_EQ(tables().waitingCount(), 0u);
    const std::vector<LogLine> expected{{3, "tav-test: Fulfilled service proxy request: svc.get"}};
    EXPECT_EQ(host_.logLines, expected);
}

TEST_F(ServiceProxyTest, OneAnswerFulfilsAtMostOneWaitingRequest) {
    std::vector<std::string> served;
    const auto record = [&](const PluginServiceProxyResponse& a) { served.push_back(a.uuid); };
    deliverUuid(answer("a", "", "", ""));
    deliverUuid(answer("b", "", "", ""));
    tables().registerWaitingRequest("b", record);
    tables().registerWaitingRequest("a", record);

    // Stored order decides: "a" was stored first.
    deliverUuid(answer("c", "", "", ""));
    EXPECT_EQ(served, std::vector<std::string>{"a"});
    EXPECT_EQ(tables().waitingCount(), 1u);
    EXPECT_TRUE(tables().hasStored("b"));

    deliverUuid(answer("d", "", "", ""));
    EXPECT_EQ(served, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(tables().storedCount(), 2u);  // "c" and "d"
    EXPECT_EQ(host_.logLines.size(), 2u);
}

TEST_F(ServiceProxyTest, WaitingCallbackMayUseTheTables) {
    std::vector<std::string> served;
    tables().registerWaitingRequest("first", [&](const PluginServiceProxyResponse& a) {
        served.push_back(a.uuid);
        // The follow-up request, registered from inside the callback.
        tables().registerWaitingRequest(
            "second", [&](const PluginServiceProxyResponse& b) { served.push_back(b.uuid); });
        EXPECT_EQ(tables().waitingCount(), 1u);
    });
    deliverUuid(answer("first", "", "", ""));
    deliverUuid(answer("second", "", "", ""));
    EXPECT_EQ(served, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(tables().storedCount(), 0u);
}

TEST_F(ServiceProxyTest, AsyncMessageGoesToItsHandlerOrIsLoggedAndDropped) {
    std::vector<std::string> handled;
    tables().registerAsyncHandler(
        "svc.push", [&](const PluginServiceProxyResponse& a) { handled.push_back(a.payload); });

    deliver("OnServiceProxyAsyncEvent", answer("", "svc", "push", "one"));
    deliver("OnServiceProxyAsyncEvent", answer("", "svc", "pull", "two"));

    EXPECT_EQ(handled, std::vector<std::string>{"one"});
    EXPECT_EQ(tables().storedCount(), 0u);
    const std::vector<LogLine> expected{
        {2, "tav-test: Could not find registered handler for async service proxy event svc.pull"}};
    EXPECT_EQ(host_.logLines, expected);
}

TEST_F(ServiceProxyTest, ClearDropsStoredAnswersAsWellAsWaitingRequestsAndHandlers) {
    deliverUuid(answer("u1", "svc", "get", "stored"));
    tables().registerWaitingRequest("u2", [](const PluginServiceProxyResponse&) {});
    tables().registerAsyncHandler("svc.push", [](const PluginServiceProxyResponse&) {});
    tables().clear();
    EXPECT_EQ(tables().storedCount(), 0u);
    EXPECT_EQ(tables().waitingCount(), 0u);

    // Nothing stored before is handed to a request registered after.
    std::vector<std::string> served;
    tables().registerWaitingRequest(
        "u1", [&](const PluginServiceProxyResponse& a) { served.push_back(a.payload); });
    deliverUuid(answer("u3", "", "", ""));
    EXPECT_TRUE(served.empty());
    deliver("OnServiceProxyAsyncEvent", answer("", "svc", "push", ""));
    const std::vector<LogLine> expected{
        {2, "tav-test: Could not find registered handler for async service proxy event svc.push"}};
    EXPECT_EQ(host_.logLines, expected);
}

TEST_F(ServiceProxyTest, PayloadOfAnotherShapeIsDropped) {
    TavHostValue text{};
    text.tag = TAV_HOST_STRING;
    text.payload.text = "not an answer";
    host_.deliver("OnServiceProxyUuidEvent", text);
    EXPECT_EQ(tables().storedCount(), 0u);
    EXPECT_TRUE(host_.logLines.empty());
}

}  // namespace

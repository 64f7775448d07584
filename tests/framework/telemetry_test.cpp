#include "framework/telemetry.h"

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "framework/plugin_base.h"
#include "plugin_start.h"

namespace telemetrytest {

using tav::testing::FakeHost;

struct TestPlugin : tav::PluginBase {};

class TelemetryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tav::testing::startPlugin(plugin, host));
        ASSERT_NE(plugin.telemetry(), nullptr);
        host.requests.clear();
    }

    FakeHost host;
    TestPlugin plugin;
};

// The event is posted with its parameters as one argument, its name into the
// path unescaped; the future holds success whatever the host answers.
TEST_F(TelemetryTest, PostsTheEventAndSucceedsWhateverTheHostAnswers) {
    tav::testing::ReleaseCounter::calls = 0;
    host.answer = [](TavResponse& response, const tav::testing::RecordedRequest&) {
        response.errorText = "telemetry is down";
        response.status = 503;
        response.release = &tav::testing::ReleaseCounter::release;
    };
    std::vector<tav::NamedValue> parameters(1);
    parameters[0].name = "queueId";
    parameters[0].value.setInt64(420);
    for (const char* name : {"match-start", "a b/c"}) {
        SCOPED_TRACE(name);
        host.requests.clear();
        auto future = plugin.telemetry()->send(name, parameters);
        ASSERT_EQ(host.requests.size(), 1u);
        EXPECT_EQ(host.requests[0].method, 6u);
        EXPECT_EQ(host.requests[0].url, std::string("/telemetry/v1/events/") + name);
        ASSERT_EQ(host.requests[0].argumentCount, 1u);
        EXPECT_EQ(host.requests[0].arguments.elementAt(0).find("value").find("queueId").asInt64(),
                  420);
        ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        EXPECT_TRUE(future.get().ok());
    }
    EXPECT_EQ(tav::testing::ReleaseCounter::calls, 2);
}

}  // namespace telemetrytest

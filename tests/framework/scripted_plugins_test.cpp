// Requests against scripted fake plugins behind the host: values, errors and
// streams as another plugin would answer them, each released exactly once.
#include <string>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "framework/plugin_base.h"
#include "framework/plugin_loader.h"
#include "framework/remote_request.h"
#include "plugin_start.h"
#include "scripted_answers.h"

using namespace tav;
using tav::testing::FakeHost;
using tav::testing::ScriptedAnswers;

namespace {

struct TestPlugin : PluginBase {};

// A loaded and initialised plugin; the host owns it until Shutdown.
TestPlugin* startPlugin(FakeHost& host) {
    auto* plugin = new TestPlugin;
    EXPECT_TRUE(tav::testing::startPlugin(*plugin, host));
    return plugin;
}

}  // namespace

TEST(ScriptedPlugins, AnswersReachTypedRequestsAndAreReleasedOnce) {
    FakeHost host;
    ScriptedAnswers plugins(host);
    TestPlugin* plugin = startPlugin(host);

    BindingValue active;
    active.setBool(true);
    plugins.value("/x/v1/active", active);
    plugins.error("/x/v1/broken", 503, "Service Unavailable");
    plugins.stream("/x/v1/big", "[" + std::string(9000, ' ') + "1,2,3]", {4096, 4096, 1000});
    plugins.stream("/x/v1/cut", "[1,2,3]", {3}, 1);

    auto flag = request<bool>(*plugin, MethodCode::Get, "/x/v1/active");
    ASSERT_TRUE(flag.ok());
    EXPECT_TRUE(flag.value());

    auto broken = request<bool>(*plugin, MethodCode::Get, "/x/v1/broken");
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(broken.error().code(), 503);
    EXPECT_EQ(broken.error().message(), "Error response for GET /x/v1/broken: Service Unavailable");

    auto big = request<std::vector<int>>(*plugin, MethodCode::Get, "/x/v1/big");
    ASSERT_TRUE(big.ok());
    EXPECT_EQ(big.value(), (std::vector<int>{1, 2, 3}));

    auto cut = request<std::vector<int>>(*plugin, MethodCode::Get, "/x/v1/cut");
    ASSERT_FALSE(cut.ok());
    EXPECT_EQ(cut.error().message(),
              "Error reading streamed response for GET /x/v1/cut: Stream read error");

    auto missing = request<bool>(*plugin, MethodCode::Get, "/x/v1/none");
    EXPECT_EQ(missing.error().code(), 404);

    EXPECT_EQ(plugins.releases(), 5);
    EXPECT_EQ(plugins.outstanding(), 0u);
    EXPECT_EQ(plugins.streamCloses(), 2);
    PluginLoader::Shutdown(plugin);
}

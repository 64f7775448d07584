// The plugin as the host sees it: the real module loaded with dlopen, its
// load record, callbacks and the calls it makes into the host.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/api_description_walk.h"
#include "api/method_names.h"
#include "binding/host_value.h"
#include "module_host.h"

using tav::testing::ModuleHost;

namespace {

std::string modulePath() {
    return TAV_PLUGIN_MODULE_PATH;
}

}  // namespace

TEST(PluginModule, LoadWritesTheRecordForTheHost) {
    for (const std::uint32_t minor : {0u, 5u}) {
        SCOPED_TRACE(minor);
        ModuleHost module(modulePath(), 18, minor, 2);
        ASSERT_TRUE(module.loaded()) << module.loadError();
        const TavLoadRecord& record = module.load();
        EXPECT_EQ(record.apiMajor, 18u);
        EXPECT_EQ(record.apiMinor, 0u);
        EXPECT_EQ(record.apiPatch, 0u);
        ASSERT_NE(static_cast<const void*>(record.callbacks), nullptr);
        EXPECT_TRUE(record.callbacks->init != nullptr);
        EXPECT_TRUE(record.callbacks->shutdown != nullptr);
        EXPECT_TRUE(record.callbacks->memoryStats != nullptr);
        EXPECT_NE(static_cast<const void*>(record.context), nullptr);
        ASSERT_NE(static_cast<const void*>(record.shortName), nullptr);
        EXPECT_STREQ(record.shortName, "tav-champ-select");
        EXPECT_NE(static_cast<const void*>(record.endpointTable), nullptr);
    }
}

// The API description as the host walks it from word 6, through the C
// records (at 32 bits their packed layout): every route named after its
// method and path, its id declared in the path and a record in the body, its
// answer's type described. Which routes answer what is the facade's route
// tests'.
TEST(PluginModule, TheApiDescriptionListsTheRoutes) {
    ModuleHost module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.loadError();
    const auto* table = static_cast<const TavEndpointTable*>(module.load().endpointTable);
    ASSERT_NE(table, nullptr);

    const auto endpoints = tav::testing::walk(table->endpoints, table->endpointCount);
    EXPECT_EQ(endpoints.size(), 19u);
    for (const TavEndpointRecord* e : endpoints) {
        const TavFunctionRecord& f = e->function;
        // Pointers of the packed records are read by value, never bound to a
        // reference (they may sit at any address).
        SCOPED_TRACE(std::string(e->path));
        EXPECT_EQ(std::string(f.name), tav::functionName(tav::methodName(+e->method), e->path));
        EXPECT_STREQ(e->customMethod, "");
        EXPECT_STREQ(f.description, "");
        EXPECT_EQ(tav::testing::texts(f.tags, +f.tagCount),
                  (std::vector<std::string>{"Plugins", "Plugin tav-champ-select"}));
        EXPECT_EQ(+e->entry, +endpoints[0]->entry);
        EXPECT_NE(+f.endpoint, nullptr);
        // Locations: 2 path, 5 body.
        const TavArgumentLocationNode* location = e->locations;
        bool hasId = false;
        for (const TavArgumentRecord* a : tav::testing::walk(f.arguments, +f.argumentCount)) {
            ASSERT_NE(location, nullptr) << a->name;
            const bool isId = std::string_view(a->name) == "id";
            EXPECT_EQ(+location->location, isId ? 2u : 5u) << a->name;
            hasId = hasId || isId;
            location = location->next;
        }
        EXPECT_EQ(location, nullptr);
        EXPECT_EQ(hasId, std::string_view(e->path).find("{id}") != std::string_view::npos);
        if (*f.returnTypeName != '\0') {
            EXPECT_NE(tav::testing::findType(table, f.returnTypeName), nullptr);
        }
    }
    EXPECT_NE(tav::testing::findType(table, "TavChampSelectChampSelectTradeState"), nullptr);

    // The events the integration page names: the binding layer's callback
    // event, then the framework's five, in the order they were registered.
    std::vector<std::string> events;
    for (const TavEventRecord* e : tav::testing::walk(table->events, table->eventCount)) {
        events.push_back(std::string(e->nameSpace) + "::" + e->name + " " + e->payloadTypeName);
    }
    EXPECT_EQ(events, (std::vector<std::string>{
                          "::OnCallback BindingCallbackEvent",
                          "vclient::OnJsonApiEvent PluginResourceEvent",
                          "vclient::OnLcdsEvent PluginLcdsEvent",
                          "vclient::OnServiceProxyUuidEvent PluginServiceProxyResponse",
                          "vclient::OnServiceProxyMethodEvent PluginServiceProxyResponse",
                          "vclient::OnServiceProxyAsyncEvent PluginServiceProxyResponse",
                      }));
}

// The report's code, and its description naming both versions (the report's
// layout is the framework's FatalReport test).
TEST(PluginModuleDeathTest, AnIncompatibleHostEndsTheProcessWithTheReport) {
    GTEST_FLAG_SET(death_test_style, "fast");  // re-executing would start the emulator
    struct Row {
        std::uint32_t major, minor, patch;
        const char* report;
    };
    for (const Row& row :
         {Row{17, 9, 9, "ALE-EECF0606"},
          Row{19, 0, 0,
              "tav-champ-select which supports plugin API 18.0.0 is not compatible with core's "
              "plugin API 19.0.0"}}) {
        SCOPED_TRACE(row.major);
        EXPECT_DEATH(
            {
                ModuleHost module(modulePath(), row.major, row.minor, row.patch);
                module.load();
            },
            row.report);
    }
}

TEST(PluginModule, InitSubscribesTheServiceProxyEventsAndRoutesLogLinesToTheHost) {
    ModuleHost module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.loadError();
    module.load();
    ASSERT_TRUE(module.init());

    // The three service-proxy events first; the implementations' resources
    // follow (five legacy event names, one team-builder name for all its
    // resources, whose URIs share their first four parts).
    const auto& subscriptions = module.host().subscriptions();
    ASSERT_EQ(subscriptions.size(), 9u);
    const char* names[] = {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent",
                           "OnServiceProxyAsyncEvent"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(subscriptions[i].name, names[i]);
        EXPECT_EQ(subscriptions[i].flag, 1u);
        EXPECT_EQ(subscriptions[i].userData, static_cast<void*>(module.record().context));
    }

    // An asynchronous answer nobody waits for is logged as an error, and the
    // plugin's log goes to the host.
    tav::BindingValue answer;
    answer.member("serviceName").setString("svc");
    answer.member("methodName").setString("m");
    tav::HostValueRecord record;
    ASSERT_TRUE(tav::valueToHost(nullptr, record, answer));
    module.host().deliver("OnServiceProxyAsyncEvent", record.root());
    ASSERT_EQ(module.host().logLines.size(), 1u);
    EXPECT_EQ(module.host().logLines[0].first, 2);
    EXPECT_EQ(module.host().logLines[0].second,
              "tav-champ-select: Could not find registered handler for async service proxy "
              "event svc.m");

    module.shutdown();
    EXPECT_EQ(module.host().unsubscribed.size(), 9u);
    EXPECT_TRUE(module.host().published.empty());
}

// The host's records are packed: the init record may sit at any address
// (the sanitizer builds catch a reference bound to one of its fields).
TEST(PluginModule, InitReadsARecordAtAnOddAddress) {
    ModuleHost module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.loadError();
    const TavLoadRecord& record = module.load();
    const TavPluginCallbacks* callbacks = record.callbacks;  // no reference into the record
    ASSERT_NE(callbacks, nullptr);
    alignas(8) unsigned char bytes[sizeof(TavInitRecord) + 1];
    const TavInitRecord init = module.host().initRecord();
    std::memcpy(bytes + 1, &init, sizeof init);
    EXPECT_NE(callbacks->init(record.context, reinterpret_cast<TavInitRecord*>(bytes + 1)), 0);
    module.shutdown();
}

TEST(PluginModule, MemoryStatsReportsTheCountersAndTwoZeroWords) {
    ModuleHost module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.loadError();
    module.load();
    std::uint32_t words[14];
    std::fill(std::begin(words), std::end(words), 0xFFFFFFFFu);
    module.memoryStats(words);
    const std::uint64_t allocations = words[6] | (std::uint64_t{words[7]} << 32);
    const std::uint64_t bytes = words[4] | (std::uint64_t{words[5]} << 32);
    EXPECT_GT(allocations, 0u);  // at least the plugin object itself
    EXPECT_GT(bytes, 0u);
    EXPECT_EQ(words[12], 0u);
    EXPECT_EQ(words[13], 0u);
}

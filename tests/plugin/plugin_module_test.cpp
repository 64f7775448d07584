// The plugin as the host sees it: the real module loaded with dlopen, its
// load record, callbacks and the calls it makes into the host.
#include <cstring>
#include <string>

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

// The API description as the host walks it from word 6: the 19 routes in
// table order with their names, methods and parameters, and the API types.
TEST(PluginModule, TheApiDescriptionListsTheRoutesAndTypes) {
    ModuleHost module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.loadError();
    const auto* table = static_cast<const TavEndpointTable*>(module.load().endpointTable);
    ASSERT_NE(table, nullptr);

    std::vector<std::string> routes;
    for (const TavEndpointRecord* e : tav::testing::walk(table->endpoints, table->endpointCount)) {
        routes.push_back(std::string(tav::methodName(+e->method)) + " " + e->path + " " +
                         e->function.name);
        EXPECT_EQ(tav::testing::texts(e->function.tags, +e->function.tagCount),
                  (std::vector<std::string>{"Plugins", "Plugin tav-champ-select"}));
        EXPECT_EQ(+e->entry, +table->endpoints[0].entry);
    }
    ASSERT_EQ(routes.size(), 19u);
    EXPECT_EQ(routes[0], "GET /tav-champ-select/v1/session GetTavChampSelectV1Session");
    EXPECT_EQ(routes[4],
              "POST /tav-champ-select/v1/session/trades/{id}/accept "
              "PostTavChampSelectV1SessionTradesByIdAccept");
    EXPECT_EQ(routes[18],
              "POST /tav-champ-select/v1/battle-training/launch "
              "PostTavChampSelectV1BattleTrainingLaunch");

    // Route 8: an unsigned id in the path and the action in the body.
    const TavEndpointRecord& action = table->endpoints[7];
    ASSERT_EQ(+action.function.argumentCount, 2u);
    const TavArgumentRecord& id = action.function.arguments[0];
    const TavArgumentRecord& data = action.function.arguments[1];
    EXPECT_EQ(std::string(id.name) + " " + std::to_string(+id.kind) + " " + data.name + " " +
                  std::to_string(+data.kind) + " " + data.typeName,
              "id 9 data 17 TavChampSelectChampSelectAction");
    ASSERT_NE(+action.locations, nullptr);
    EXPECT_EQ(+action.locations->location, 2u);
    EXPECT_EQ(+action.locations->next->location, 5u);
    EXPECT_EQ(+action.function.returnKind, 13u);  // nothing: "object"

    // Route 2 answers a list of trade contracts; route 3 takes a signed id.
    EXPECT_EQ(std::to_string(+table->endpoints[1].function.returnKind) + " " +
                  std::to_string(+table->endpoints[1].function.returnElementKind) + " " +
                  table->endpoints[1].function.returnTypeName,
              "15 17 TavChampSelectChampSelectTradeContract");
    EXPECT_EQ(+table->endpoints[2].function.arguments[0].kind, 8u);

    for (const char* type : {"TavChampSelectChampSelectSession", "TavChampSelectTeamBoost",
                             "TavChampSelectChampSelectTradeState"}) {
        EXPECT_NE(tav::testing::findType(table, type), nullptr) << type;
    }
}

TEST(PluginModuleDeathTest, AnIncompatibleHostEndsTheProcessWithTheReport) {
    GTEST_FLAG_SET(death_test_style, "fast");  // re-executing would start the emulator
    struct Row {
        std::uint32_t major, minor, patch;
    };
    for (const Row& row : {Row{17, 9, 9}, Row{19, 0, 0}}) {
        SCOPED_TRACE(row.major);
        EXPECT_DEATH(
            {
                ModuleHost module(modulePath(), row.major, row.minor, row.patch);
                module.load();
            },
            "ALE-EECF0606");
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
    const auto& subscriptions = module.host().subscriptions;
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

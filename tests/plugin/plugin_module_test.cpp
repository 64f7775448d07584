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

// An endpoint as one line: "METHOD path Name(argument kind [type] @location,
// ...) -> kind elementKind [type]", read from the C records and their lists.
std::string describe(const TavEndpointRecord& e) {
    const TavFunctionRecord& f = e.function;
    std::string line = std::string(tav::methodName(+e.method)) + " " + e.path + " " + f.name + "(";
    const TavArgumentLocationNode* location = e.locations;
    for (const TavArgumentRecord* a : tav::testing::walk(f.arguments, +f.argumentCount)) {
        line += std::string(a != f.arguments ? ", " : "") + a->name + " " +
                std::to_string(+a->kind) + (*a->typeName != '\0' ? " " : "") + a->typeName;
        EXPECT_EQ(+a->elementKind, 0u) << a->name;
        EXPECT_EQ(+a->optional, 0) << a->name;
        EXPECT_STREQ(a->description, "") << a->name;
        if (location == nullptr) {
            line += " @none";
            continue;
        }
        line += " @" + std::to_string(+location->location);
        location = location->next;
    }
    line += ") -> " + std::to_string(+f.returnKind) + " " + std::to_string(+f.returnElementKind) +
            (*f.returnTypeName != '\0' ? " " : "") + f.returnTypeName;
    return location == nullptr ? line : line + " (more locations than arguments)";
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
// records (at 32 bits their packed layout): the 19 routes in table order.
TEST(PluginModule, TheApiDescriptionListsTheRoutes) {
    ModuleHost module(modulePath());
    ASSERT_TRUE(module.loaded()) << module.loadError();
    const auto* table = static_cast<const TavEndpointTable*>(module.load().endpointTable);
    ASSERT_NE(table, nullptr);

    // Kinds: 8 int64, 9 uint64, 13 object (no answer, or one passed through),
    // 15 vector, 17 struct; locations: 2 path, 5 body.
    struct Row {
        const char* route;
        const char* name;
        const char* signature;
    };
    const Row rows[] = {
        {"GET /tav-champ-select/v1/session", "GetTavChampSelectV1Session",
         "() -> 17 0 TavChampSelectChampSelectSession"},
        {"GET /tav-champ-select/v1/session/trades", "GetTavChampSelectV1SessionTrades",
         "() -> 15 17 TavChampSelectChampSelectTradeContract"},
        {"GET /tav-champ-select/v1/session/trades/{id}", "GetTavChampSelectV1SessionTradesById",
         "(id 8 @2) -> 17 0 TavChampSelectChampSelectTradeContract"},
        {"POST /tav-champ-select/v1/session/trades/{id}/request",
         "PostTavChampSelectV1SessionTradesByIdRequest",
         "(id 8 @2) -> 17 0 TavChampSelectChampSelectTradeContract"},
        {"POST /tav-champ-select/v1/session/trades/{id}/accept",
         "PostTavChampSelectV1SessionTradesByIdAccept", "(id 8 @2) -> 13 0"},
        {"POST /tav-champ-select/v1/session/trades/{id}/decline",
         "PostTavChampSelectV1SessionTradesByIdDecline", "(id 8 @2) -> 13 0"},
        {"POST /tav-champ-select/v1/session/trades/{id}/cancel",
         "PostTavChampSelectV1SessionTradesByIdCancel", "(id 8 @2) -> 13 0"},
        {"PATCH /tav-champ-select/v1/session/actions/{id}",
         "PatchTavChampSelectV1SessionActionsById",
         "(id 9 @2, data 17 TavChampSelectChampSelectAction @5) -> 13 0"},
        {"POST /tav-champ-select/v1/session/actions/{id}/complete",
         "PostTavChampSelectV1SessionActionsByIdComplete", "(id 8 @2) -> 13 0"},
        {"POST /tav-champ-select/v1/session/my-selection/reroll",
         "PostTavChampSelectV1SessionMySelectionReroll", "() -> 13 0"},
        {"POST /tav-champ-select/v1/team-boost/purchase", "PostTavChampSelectV1TeamBoostPurchase",
         "() -> 13 0"},
        {"PATCH /tav-champ-select/v1/session/my-selection",
         "PatchTavChampSelectV1SessionMySelection",
         "(selection 17 TavChampSelectChampSelectMySelection @5) -> 13 0"},
        {"GET /tav-champ-select/v1/session/timer", "GetTavChampSelectV1SessionTimer",
         "() -> 17 0 TavChampSelectChampSelectTimer"},
        {"GET /tav-champ-select/v1/pickable-champions", "GetTavChampSelectV1PickableChampions",
         "() -> 17 0 TavChampSelectChampSelectPickableChampions"},
        {"GET /tav-champ-select/v1/bannable-champions", "GetTavChampSelectV1BannableChampions",
         "() -> 17 0 TavChampSelectChampSelectBannableChampions"},
        {"GET /tav-champ-select/v1/disabled-champions", "GetTavChampSelectV1DisabledChampions",
         "() -> 17 0 TavChampSelectChampSelectDisabledChampions"},
        {"GET /tav-champ-select/v1/pickable-skins", "GetTavChampSelectV1PickableSkins",
         "() -> 17 0 TavChampSelectChampSelectPickableSkins"},
        {"GET /tav-champ-select/v1/team-boost", "GetTavChampSelectV1TeamBoost",
         "() -> 17 0 TavChampSelectTeamBoost"},
        {"POST /tav-champ-select/v1/battle-training/launch",
         "PostTavChampSelectV1BattleTrainingLaunch", "() -> 13 0"},
    };

    const auto endpoints = tav::testing::walk(table->endpoints, table->endpointCount);
    ASSERT_EQ(endpoints.size(), std::size(rows));
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        const TavEndpointRecord& e = *endpoints[i];
        const TavFunctionRecord& f = e.function;
        EXPECT_EQ(describe(e), std::string(rows[i].route) + " " + rows[i].name + rows[i].signature);
        SCOPED_TRACE(rows[i].name);
        EXPECT_STREQ(e.customMethod, "");
        EXPECT_STREQ(f.description, "");
        EXPECT_EQ(tav::testing::texts(f.tags, +f.tagCount),
                  (std::vector<std::string>{"Plugins", "Plugin tav-champ-select"}));
        EXPECT_EQ(+e.entry, +endpoints[0]->entry);
        EXPECT_NE(+f.endpoint, nullptr);
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

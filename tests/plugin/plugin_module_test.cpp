// The plugin as the host sees it: the real module loaded with dlopen, its
// load record, API description, Init, MemoryStats and Shutdown, in one start.
// The subscriptions' order and the log lines the module writes are the golden
// traces' and the facade tests'. The loader's own record rules are
// plugin_loader_test's; this adds the module file and its C records.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/api_description_walk.h"
#include "api/method_names.h"
#include "module_host.h"

using tav::testing::ModuleHost;

TEST(PluginModule, LoadDescriptionInitMemoryStatsAndShutdown) {
    // A host newer in minor and patch is served, and told our version.
    ModuleHost module(TAV_PLUGIN_MODULE_PATH, 18, 5, 2);
    ASSERT_TRUE(module.loaded()) << module.loadError();
    const TavLoadRecord& record = module.load();
    EXPECT_EQ(record.apiMajor, 18u);
    EXPECT_EQ(record.apiMinor, 0u);
    EXPECT_EQ(record.apiPatch, 0u);
    const TavPluginCallbacks* callbacks = record.callbacks;  // no reference into the record
    ASSERT_NE(callbacks, nullptr);
    EXPECT_TRUE(callbacks->init != nullptr && callbacks->shutdown != nullptr &&
                callbacks->memoryStats != nullptr);
    EXPECT_NE(static_cast<const void*>(record.context), nullptr);
    EXPECT_STREQ(record.shortName, "tav-champ-select");

    // The API description as the host walks it from word 6, through the C
    // records (at 32 bits their packed layout): every route named after its
    // method and path, its id in the path and a record in the body, its
    // answer's type described. Which routes answer what is the route table's.
    const auto* table = static_cast<const TavEndpointTable*>(record.endpointTable);
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
        EXPECT_EQ(tav::testing::texts(f.tags, +f.tagCount),
                  (std::vector<std::string>{"Plugins", "Plugin tav-champ-select"}));
        EXPECT_EQ(+e->entry, +endpoints[0]->entry);
        EXPECT_NE(+f.endpoint, nullptr);
        const TavArgumentLocationNode* location = e->locations;  // 2 path, 5 body
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

    // The host's records are packed: the init record may sit at any address
    // (the sanitizer builds catch a reference bound to one of its fields).
    alignas(8) unsigned char bytes[sizeof(TavInitRecord) + 1];
    const TavInitRecord init = module.host().initRecord();
    std::memcpy(bytes + 1, &init, sizeof init);
    ASSERT_NE(callbacks->init(record.context, reinterpret_cast<TavInitRecord*>(bytes + 1)), 0);
    // The three service-proxy events first, then the implementations'
    // resources: five legacy event names, one team-builder name for all.
    const auto& subscriptions = module.host().subscriptions();
    ASSERT_EQ(subscriptions.size(), 9u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(subscriptions[i].name.starts_with("OnServiceProxy")) << subscriptions[i].name;
        EXPECT_EQ(subscriptions[i].flag, 1u);
        EXPECT_EQ(subscriptions[i].userData, static_cast<void*>(record.context));
    }

    std::uint32_t words[14];
    std::fill(std::begin(words), std::end(words), 0xFFFFFFFFu);
    module.memoryStats(words);
    EXPECT_GT(words[6] | (std::uint64_t{words[7]} << 32), 0u);  // allocations
    EXPECT_GT(words[4] | (std::uint64_t{words[5]} << 32), 0u);  // bytes
    EXPECT_EQ(words[12], 0u);
    EXPECT_EQ(words[13], 0u);

    module.shutdown();
    EXPECT_EQ(module.host().unsubscribed.size(), 9u);
    EXPECT_TRUE(module.host().published.empty());
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
                ModuleHost module(TAV_PLUGIN_MODULE_PATH, row.major, row.minor, row.patch);
                module.load();
            },
            row.report);
    }
}

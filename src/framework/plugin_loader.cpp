#include "framework/plugin_loader.h"

#include <cstring>

#include "api/method_names.h"
#include "diag/allocation.h"
#include "diag/event_tracing.h"
#include "framework/fatal_report.h"
#include "framework/framework_types.h"
#include "framework/live_plugins.h"
#include "framework/plugin_base.h"
#include "log/host_guard.h"
#include "log/log_categories.h"
#include "text/message.h"

namespace tav {
namespace {

constexpr TavPluginCallbacks kCallbacks{&PluginLoader::Init, &PluginLoader::Shutdown,
                                        &PluginLoader::MemoryStats};

}  // namespace

void PluginLoader::Load(PluginBase* plugin, TavLoadRecord* record, const char* shortName) {
    if (plugin == nullptr || record == nullptr) {
        return;
    }
    registerLogCategory("LOC");
    diag::eventTracing().start();

    const SemanticVersion pluginVersion = frameworkApiVersion();
    const SemanticVersion hostVersion{record->apiMajor, record->apiMinor, record->apiPatch, {}, {}};
    if (!isCompatible(pluginVersion, hostVersion)) {
        FatalReport report;
        report.expression = "ALE-EECF0606";
        report.description = makeMessage(
            "%1 which supports plugin API %2 is not compatible with core's plugin API %3",
            shortName, pluginVersion.text(), hostVersion.text());
        raiseFatal(report);
    }
    PluginSetup setup;
    setup.hostVersion = hostVersion;
    setup.identity = GetFullNameFromShortNameAndType(shortName, backendPluginType());
    setup.shortName = shortName;
    setup.labels = {"Plugins", std::string("Plugin ") + shortName};
    setup.typeNamePrefix = functionName("", shortName);
    plugin->configure(std::move(setup));
    registerFrameworkTypes(plugin->registry());
    plugin->RegisterEndpoints();
    const void* endpointTable = plugin->api().buildDescription(plugin->registry()).table();

    record->apiMajor = pluginVersion.major;
    record->apiMinor = pluginVersion.minor;
    record->apiPatch = pluginVersion.patch;
    record->callbacks = &kCallbacks;
    record->context = plugin;
    record->shortName = plugin->shortName().c_str();
    record->endpointTable = endpointTable;
}

std::uint8_t TAV_ABI PluginLoader::Init(void* context, const TavInitRecord* init) {
    return guardHostCall(
        "Init",
        [&]() -> std::uint8_t {
            auto* plugin = static_cast<PluginBase*>(context);
            if (plugin == nullptr || init == nullptr) {
                return 0;
            }
            return plugin->initialise(*init) ? 1 : 0;
        },
        []() -> std::uint8_t { return 0; });
}

void TAV_ABI PluginLoader::Shutdown(void* context) {
    auto* plugin = static_cast<PluginBase*>(context);
    if (plugin == nullptr) {
        return;
    }
    // Deliveries still to come (queued by the host, or racing this call) are
    // dropped from here on; one already running elsewhere ends first. The host
    // gives up the object whatever happens on the way out.
    guardHostCall("Shutdown", [plugin] {
        removeLivePlugin(plugin);
        plugin->Shutdown();
    });
    delete plugin;
}

void TAV_ABI PluginLoader::MemoryStats(void* /*context*/, std::uint32_t* words) {
    guardHostCall("MemoryStats", [words] {
        if (words == nullptr) {
            return;
        }
        std::uint32_t counters[diag::kAllocationCounterWords];
        diag::writeAllocationCounters(counters);
        std::memcpy(words, counters, sizeof counters);
        words[diag::kAllocationCounterWords] = 0;
        words[diag::kAllocationCounterWords + 1] = 0;
    });
}

}  // namespace tav

#include "framework/plugin_loader.h"

#include <cstring>

#include "api/method_names.h"
#include "diag/allocation.h"
#include "diag/event_tracing.h"
#include "framework/fatal_report.h"
#include "framework/framework_types.h"
#include "framework/plugin_base.h"
#include "framework/plugin_log_target.h"
#include "framework/telemetry.h"
#include "log/console_targets.h"
#include "log/log_categories.h"
#include "log/log_manager.h"
#include "text/message.h"

namespace tav {

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
    plugin->hostVersion_ = hostVersion;
    plugin->identity_ = GetFullNameFromShortNameAndType(shortName, backendPluginType());
    plugin->shortName_ = shortName;
    plugin->labels_ = {"Plugins", std::string("Plugin ") + shortName};
    plugin->typeNamePrefix_ = functionName("", shortName);
    registerFrameworkTypes(plugin->registry_);
    plugin->RegisterEndpoints();
    plugin->endpointTable_ = nullptr;  // the API description arrives with the dispatcher

    plugin->callbacks_ = TavPluginCallbacks{&PluginLoader::Init, &PluginLoader::Shutdown,
                                            &PluginLoader::MemoryStats};
    record->apiMajor = pluginVersion.major;
    record->apiMinor = pluginVersion.minor;
    record->apiPatch = pluginVersion.patch;
    record->callbacks = &plugin->callbacks_;
    record->context = plugin;
    record->shortName = plugin->shortName_.c_str();
    record->endpointTable = plugin->endpointTable_;
}

std::uint8_t TAV_ABI PluginLoader::Init(void* context, const TavInitRecord* init) {
    auto* plugin = static_cast<PluginBase*>(context);
    if (plugin == nullptr || init == nullptr) {
        return 0;
    }
    plugin->initRecord_ = *init;

    // The first Init of the process replaces the console targets with the
    // host's log; a second finds the plugin target and changes nothing.
    if (LogManager::FindTarget("PluginLogTarget") == nullptr) {
        LogManager::StdOut()->Unregister();
        LogManager::StdErr()->Unregister();
        LogManager::Debugger()->Unregister();
        LogManager::SetMinimumLevel(LogLevel::Okay);
        LogManager::SetExcludedCategories(LogCategory::Extra);
        auto target = std::make_unique<PluginLogTarget>(init->host);
        LogTargetSettings settings;
        settings.level = LogManager::MinimumLevel();
        settings.includedCategories = 0;
        settings.excludedCategories = 0;
        settings.format = "#D| #L| #G| #M";
        Configure(*target, settings);
        plugin->logTarget_ = std::move(target);
    }

    plugin->userAgent_ =
        makeMessage("KelvoClient/%1 (%2)", plugin->hostVersion_.text(), plugin->shortName_);
    plugin->hostContext_ = init->hostContext;
    plugin->telemetry_ = std::make_unique<TelemetrySender>(*plugin);
    plugin->SubscribeServiceProxyEvents();
    return plugin->OnInitialize() ? 1 : 0;
}

void TAV_ABI PluginLoader::Shutdown(void* context) {
    auto* plugin = static_cast<PluginBase*>(context);
    if (plugin == nullptr) {
        return;
    }
    plugin->Shutdown();
    delete plugin;
}

void TAV_ABI PluginLoader::MemoryStats(void* /*context*/, std::uint32_t* words) {
    if (words == nullptr) {
        return;
    }
    std::uint32_t counters[diag::kAllocationCounterWords];
    diag::writeAllocationCounters(counters);
    std::memcpy(words, counters, sizeof counters);
    words[diag::kAllocationCounterWords] = 0;
    words[diag::kAllocationCounterWords + 1] = 0;
}

}  // namespace tav

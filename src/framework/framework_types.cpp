#include "framework/framework_types.h"

#include "binding/type_registry.h"

namespace tav {
namespace {

constexpr const char* kNameSpace = "vclient";

void registerEvent(BindingTypeRegistry& registry, const char* name,
                   const BindingTypeDescriptor* payload, const char* description) {
    if (registry.findEvent(name) != nullptr) {
        return;
    }
    BindingEventDescriptor& event = registry.registerEvent(name, payload);
    event.nameSpace = kNameSpace;
    event.description = description;
}

}  // namespace

void registerFrameworkTypes(BindingTypeRegistry& registry) {
    registerEnum<PluginManagerState>(registry,
                                     {.name = "PluginManagerState", .nameSpace = kNameSpace});
    registerRecord<PluginManagerResource>(
        registry, {.name = "PluginManagerResource", .nameSpace = kNameSpace});
    registerEnum<PluginResourceEventType>(
        registry, {.name = "PluginResourceEventType", .nameSpace = kNameSpace});
    const BindingTypeDescriptor* resourceEvent = registerRecord<PluginResourceEvent>(
        registry, {.name = "PluginResourceEvent", .nameSpace = kNameSpace});
    const BindingTypeDescriptor* lcdsEvent = registerRecord<PluginLcdsEvent>(
        registry, {.name = "PluginLcdsEvent", .nameSpace = kNameSpace});
    registerRecord<PluginLcdsResponse>(registry,
                                       {.name = "PluginLcdsResponse", .nameSpace = kNameSpace});
    const BindingTypeDescriptor* serviceProxy = registerRecord<PluginServiceProxyResponse>(
        registry, {.name = "PluginServiceProxyResponse", .nameSpace = kNameSpace});

    registerEvent(registry, "OnJsonApiEvent", resourceEvent, "Fired when a resource is changed.");
    registerEvent(registry, "OnLcdsEvent", lcdsEvent,
                  "Fired when a message is received over the LCDS connection.");
    registerEvent(registry, "OnServiceProxyUuidEvent", serviceProxy,
                  "Fired when a uuid-based service proxy message is received.");
    registerEvent(registry, "OnServiceProxyMethodEvent", serviceProxy,
                  "Fired when a method-based service proxy message is received.");
    registerEvent(registry, "OnServiceProxyAsyncEvent", serviceProxy,
                  "Fired when an async service proxy message is received.");
}

}  // namespace tav

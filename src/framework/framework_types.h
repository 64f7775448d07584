// The plugin manager's own records and events, registered by the loader in
// the "vclient" namespace: resource events, LCDS messages and service-proxy
// answers are converted to and from these.
#pragma once

#include <cstdint>
#include <string>

#include "binding/binding_value.h"
#include "binding/record_description.h"

namespace tav {

class BindingTypeRegistry;

enum class PluginManagerState : std::int32_t {
    NotReady = 0,
    PluginsInitialized = 1,
};

struct PluginManagerResource {
    PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : std::int32_t {
    Create = 0,
    Update = 1,
    Delete = 2,
};

struct PluginResourceEvent {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    BindingValue data;
};

struct PluginLcdsEvent {
    std::string clientId;
    std::string subtopic;
    std::string typeName;
    BindingValue body;
};

struct PluginLcdsResponse {
    std::string typeName;
    BindingValue body;
};

struct PluginServiceProxyResponse {
    std::string uuid;
    std::string serviceName;
    std::string methodName;
    std::string payload;
    std::string status;
    std::string error;
};

constexpr auto describe(BindingDescribe<PluginManagerState>) {
    using S = PluginManagerState;
    return enumeration<S>(
        {{"NotReady", S::NotReady}, {"PluginsInitialized", S::PluginsInitialized}});
}

constexpr auto describe(BindingDescribe<PluginManagerResource>) {
    return record(field("state", &PluginManagerResource::state));
}

constexpr auto describe(BindingDescribe<PluginResourceEventType>) {
    using T = PluginResourceEventType;
    return enumeration<T>({{"Create", T::Create}, {"Update", T::Update}, {"Delete", T::Delete}});
}

constexpr auto describe(BindingDescribe<PluginResourceEvent>) {
    using E = PluginResourceEvent;
    return record(field("uri", &E::uri), field("eventType", &E::eventType),
                  field("data", &E::data));
}

constexpr auto describe(BindingDescribe<PluginLcdsEvent>) {
    using E = PluginLcdsEvent;
    return record(field("clientId", &E::clientId), field("subtopic", &E::subtopic),
                  field("typeName", &E::typeName), field("body", &E::body));
}

constexpr auto describe(BindingDescribe<PluginLcdsResponse>) {
    using E = PluginLcdsResponse;
    return record(field("typeName", &E::typeName), field("body", &E::body));
}

constexpr auto describe(BindingDescribe<PluginServiceProxyResponse>) {
    using E = PluginServiceProxyResponse;
    return record(field("uuid", &E::uuid), field("serviceName", &E::serviceName),
                  field("methodName", &E::methodName), field("payload", &E::payload),
                  field("status", &E::status), field("error", &E::error));
}

// Registers the seven types and the five events (each only when absent).
void registerFrameworkTypes(BindingTypeRegistry& registry);

}  // namespace tav

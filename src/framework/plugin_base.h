// PluginBase: the frame every plugin stands in. It keeps the host's table and
// context, the plugin's names, its type registry, listener and subscription
// tables, service-proxy tables, log target and telemetry sender, forwards
// calls to the host, and offers two hooks to the plugin: RegisterEndpoints
// (during load) and OnInitialize (at the end of the host's Init).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/type_registry.h"
#include "framework/plugin_identity.h"
#include "framework/semantic_version.h"
#include "framework/service_proxy.h"

namespace tav {

class BindingValue;
class PluginBase;
class PluginLogTarget;
class TelemetrySender;
struct PluginResourceEvent;

// Receives the payload of a host event registered under a name; held by
// shared ownership in the plugin's event handler table.
class EventHandler {
public:
    virtual ~EventHandler() = default;
    virtual void handle(PluginBase& plugin, const char* eventName, const BindingValue& payload) = 0;
};

using ResourceHandler = std::function<void(const PluginResourceEvent&)>;

class PluginBase {
public:
    PluginBase();
    PluginBase(const PluginBase&) = delete;
    PluginBase& operator=(const PluginBase&) = delete;

    // Virtual operations, in the order of the plugin's operation table.

    // Reference-counted host subscription to the event name of a resource URI.
    virtual void Subscribe(std::string_view uri);
    virtual void Unsubscribe(std::string_view uri);
    virtual ~PluginBase();
    // Drops every host subscription and clears the listener, handler and
    // service-proxy tables.
    virtual void Shutdown();

    // Forwarders to the host's table, arguments unchanged after the table.
    virtual void SendRequest(TavResponse* response, const TavRequest* request);
    virtual void HostSlot1(std::uintptr_t a, std::uintptr_t b);
    virtual void PublishEvent(const TavHostEvent* event);
    virtual void HostSubscribe(const char* eventName, void* hostContext, TavEventCallback callback,
                               void* userData, std::uint32_t flag);
    virtual void HostUnsubscribe(const char* eventName, void* hostContext);
    virtual void HostSlot5(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uint64_t d,
                           std::uintptr_t e);
    virtual void WaitStep();
    virtual void WaitLabel(const char* label, std::uintptr_t zero);
    virtual void WaitResume();

    // Hooks: called once inside the loader, and as the last step of Init
    // (whose result it gives).
    virtual void RegisterEndpoints();
    virtual bool OnInitialize();

    // Plugin objects come from the framework's counted allocation functions,
    // zero-filled; the nothrow form lets the entry give up without one.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;

    // Lets other work of the host run: the three-step yield.
    void Yield();

    // Stores a listener for a URI or a pattern containing "*" (replacing one
    // for the same text) and subscribes. See resource_listener.h for the
    // typed form that also reads the resource's current state.
    void AddRawResourceListener(std::string_view uriOrPattern, ResourceHandler handler);
    // Hands a resource event to the exact listener of its URI, then to every
    // matching pattern listener.
    void DispatchResourceEvent(const PluginResourceEvent& event);
    // The callback given to the host's subscribe; user data is the plugin.
    static void TAV_ABI HostEventCallback(const TavHostEvent* event);
    // Registers a handler for a host event name and subscribes at the host
    // with the given flag (1 for service-proxy events).
    void SubscribeHostEvent(const std::string& eventName, std::shared_ptr<EventHandler> handler,
                            std::uint32_t flag);
    // Init's subscriptions to the three service-proxy events (flag 1).
    void SubscribeServiceProxyEvents();

    // Names and settings the loader and Init fill in.
    BindingTypeRegistry& registry() { return registry_; }
    const BindingTypeRegistry& registry() const { return registry_; }
    const std::string& shortName() const { return shortName_; }
    const std::string& userAgent() const { return userAgent_; }
    const PluginIdentity& identity() const { return identity_; }
    const std::string& typeNamePrefix() const { return typeNamePrefix_; }
    const std::vector<std::string>& labels() const { return labels_; }
    const SemanticVersion& hostVersion() const { return hostVersion_; }
    void* hostContext() const { return hostContext_; }
    const TavPluginHost* host() const { return initRecord_.host; }
    TelemetrySender* telemetry() const { return telemetry_.get(); }
    ServiceProxyTables& serviceProxy() { return serviceProxy_; }
    // Subscription count of a host event name (0 when none).
    std::uint32_t subscriptionCount(const std::string& eventName) const;
    bool hasEventHandler(const std::string& eventName) const;

private:
    friend class PluginLoader;

    std::unordered_map<std::string, ResourceHandler> exactListeners_;
    // In the order they were added: matching pattern listeners run in it.
    std::vector<std::pair<std::string, ResourceHandler>> patternListeners_;
    BindingTypeRegistry registry_;
    void* hostContext_ = nullptr;
    std::string shortName_;
    std::string userAgent_;
    std::unique_ptr<TelemetrySender> telemetry_;
    std::unordered_map<std::string, std::shared_ptr<EventHandler>> eventHandlers_;
    std::unordered_map<std::string, std::uint32_t> subscriptionCounts_;
    ServiceProxyTables serviceProxy_;
    SemanticVersion hostVersion_;
    std::unique_ptr<PluginLogTarget> logTarget_;
    PluginIdentity identity_;
    std::string typeNamePrefix_;
    std::vector<std::string> labels_;
    TavInitRecord initRecord_{};  // a copy: the host's record is valid for the call only
    TavPluginCallbacks callbacks_{};
    const void* endpointTable_ = nullptr;
};

}  // namespace tav

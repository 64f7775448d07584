// PluginBase: the frame every plugin stands in. It keeps the host's table and
// context, the plugin's names and type registry, and owns its event
// subscriptions, service-proxy tables, log target and telemetry sender;
// forwards calls to the host, and offers two hooks to the plugin:
// RegisterEndpoints (during load) and OnInitialize (at the end of Init).
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <tav/plugin_abi.h>

#include "api/api_object.h"
#include "binding/type_registry.h"
#include "framework/event_subscriptions.h"
#include "framework/plugin_identity.h"
#include "framework/semantic_version.h"
#include "framework/service_proxy.h"

namespace tav {

class PluginLogTarget;
class TelemetrySender;

// What the loader establishes about a plugin before the host's Init.
struct PluginSetup {
    SemanticVersion hostVersion;
    PluginIdentity identity;
    std::string shortName;
    std::string typeNamePrefix;
    std::vector<std::string> labels;
};

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
    // Frees the block when a constructor run by the nothrow form throws.
    static void operator delete(void* block, const std::nothrow_t&) noexcept;

    // Lets other work of the host run: the three-step yield.
    void yield();

    // The loader's names and settings, before RegisterEndpoints.
    void configure(PluginSetup setup);
    // The host's Init: takes the host's table, replaces the console log
    // targets with the host's log (once per process), builds the user agent,
    // starts telemetry and the service-proxy subscriptions, then runs
    // OnInitialize, whose result it gives.
    bool initialise(const TavInitRecord& init);

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
    EventSubscriptions& events() { return events_; }
    // The routes the plugin registers and the API description built from them.
    ApiObject& api() { return api_; }
    const EventSubscriptions& events() const { return events_; }

private:
    EventSubscriptions events_{*this};
    BindingTypeRegistry registry_;
    ApiObject api_;  // after the registry: its description points into it
    void* hostContext_ = nullptr;
    std::string shortName_;
    std::string userAgent_;
    std::unique_ptr<TelemetrySender> telemetry_;
    ServiceProxyTables serviceProxy_;
    SemanticVersion hostVersion_;
    std::unique_ptr<PluginLogTarget> logTarget_;
    PluginIdentity identity_;
    std::string typeNamePrefix_;
    std::vector<std::string> labels_;
    TavInitRecord initRecord_{};  // a copy: the host's record is valid for the call only
};

}  // namespace tav

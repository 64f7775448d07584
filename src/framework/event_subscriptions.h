// The plugin's host event subscriptions and resource listeners: reference-
// counted subscriptions per host event name, the handler of each name, the
// listeners of resource URIs and "*" patterns, and the callback the host
// delivers events through. Not locked: the host hands a plugin its events
// and subscription changes one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <tav/plugin_abi.h>

namespace tav {

class PluginBase;
struct PluginResourceEvent;

// Receives the payload of a host event registered under a name, as the host
// passed it; held by shared ownership, so an event being handled keeps its
// handler alive.
class EventHandler {
public:
    virtual ~EventHandler() = default;
    virtual void handle(PluginBase& plugin, const char* eventName, const TavHostValue& payload) = 0;
};

using ResourceHandler = std::function<void(const PluginResourceEvent&)>;

class EventSubscriptions {
public:
    explicit EventSubscriptions(PluginBase& owner) : owner_(owner) {}
    EventSubscriptions(const EventSubscriptions&) = delete;
    EventSubscriptions& operator=(const EventSubscriptions&) = delete;

    // One host subscription per event name, counted by URI.
    void subscribe(std::string_view uri);
    void unsubscribe(std::string_view uri);
    // Drops every host subscription, in name order, and clears the tables.
    void unsubscribeAll();

    // Stores a listener for a URI or a pattern containing "*" (replacing one
    // for the same text) and subscribes. See resource_listener.h for the
    // typed form that also reads the resource's current state.
    void addRawResourceListener(std::string_view uriOrPattern, ResourceHandler handler);
    // Hands a resource event to the exact listener of its URI, then to every
    // matching pattern listener.
    void dispatchResourceEvent(const PluginResourceEvent& event);

    // Registers a handler for a host event name and subscribes at the host
    // with the given flag (1 for service-proxy events).
    void subscribeHostEvent(const std::string& eventName, std::shared_ptr<EventHandler> handler,
                            std::uint32_t flag);
    // Init's subscriptions to the three service-proxy events (flag 1).
    void subscribeServiceProxyEvents();

    // The callback given to the host's subscribe; its user data is the plugin.
    static void TAV_ABI hostEventCallback(const TavHostEvent* event);

    // Subscription count of a host event name (0 when none).
    std::uint32_t subscriptionCount(const std::string& eventName) const;
    bool hasEventHandler(const std::string& eventName) const;

private:
    void deliver(const TavHostEvent& event);

    PluginBase& owner_;
    std::unordered_map<std::string, ResourceHandler> exactListeners_;
    // In the order they were added: matching pattern listeners run in it.
    std::vector<std::pair<std::string, ResourceHandler>> patternListeners_;
    std::unordered_map<std::string, std::shared_ptr<EventHandler>> eventHandlers_;
    std::unordered_map<std::string, std::uint32_t> subscriptionCounts_;
};

}  // namespace tav

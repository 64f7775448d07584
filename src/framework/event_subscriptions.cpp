#include "framework/event_subscriptions.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "binding/host_value.h"
#include "binding/native_conversion.h"
#include "framework/framework_types.h"
#include "framework/live_plugins.h"
#include "framework/plugin_base.h"
#include "framework/resource_events.h"
#include "log/host_guard.h"
#include "log/log_manager.h"

namespace tav {
namespace {

constexpr const char* kServiceProxyUuidEvent = "OnServiceProxyUuidEvent";
constexpr const char* kServiceProxyMethodEvent = "OnServiceProxyMethodEvent";
constexpr const char* kServiceProxyAsyncEvent = "OnServiceProxyAsyncEvent";
constexpr std::uint32_t kResourceSubscriptionFlag = 0;
constexpr std::uint32_t kServiceProxySubscriptionFlag = 1;

// The payload name conversion messages use, as for request results.
constexpr const char* kPayloadName = "<result>";

// The host's payload as a value; a payload that cannot be read drops the
// event.
bool readPayload(PluginBase& plugin, const char* eventName, const TavHostValue& host,
                 BindingValue& payload, int depth = 0) {
    BindingErrorSink sink;
    if (hostToValue(sink, payload, host, kPayloadName, depth)) {
        return true;
    }
    Trace("%s: Couldn't convert payload %s for event %s: %s", plugin.shortName().c_str(),
          kPayloadName, eventName, sink.message.c_str());
    return false;
}

template <class Payload>
bool convertPayload(PluginBase& plugin, const char* eventName, const BindingValue& payload,
                    Payload& record) {
    const BindingResult converted = fromValue(record, payload, kPayloadName, plugin.registry());
    if (!converted) {
        Trace("%s: Couldn't convert payload %s for event %s: %s", plugin.shortName().c_str(),
              kPayloadName, eventName, std::string(converted.error()).c_str());
        return false;
    }
    return true;
}

// Converts the payload into the event's native record, then hands it on.
// Each event name has one handler: resource events convert to
// PluginResourceEvent, service-proxy events to PluginServiceProxyResponse.
template <class Payload>
class TypedEventHandler final : public EventHandler {
public:
    using Callback = void (*)(PluginBase& plugin, const Payload& payload);

    explicit TypedEventHandler(Callback callback) : callback_(callback) {}

    void handle(PluginBase& plugin, const char* eventName, const TavHostValue& host) override {
        BindingValue payload;
        Payload record;
        if (!readPayload(plugin, eventName, host, payload) ||
            !convertPayload(plugin, eventName, payload, record)) {
            return;
        }
        Trace("%s: Handling event %s", plugin.shortName().c_str(), eventName);
        callback_(plugin, record);
    }

private:
    Callback callback_;
};

// A resource event's data is read from the host's record straight into the
// event, not into the payload first and copied from there: a session is the
// bulk of the event. The rest converts as any payload does. A payload with no
// single "data" member takes the general way.
class ResourceEventHandler final : public EventHandler {
public:
    void handle(PluginBase& plugin, const char* eventName, const TavHostValue& host) override {
        PluginResourceEvent record;
        if (!readResourceEvent(plugin, eventName, host, record)) {
            return;
        }
        Trace("%s: Handling event %s", plugin.shortName().c_str(), eventName);
        plugin.events().dispatchResourceEvent(record);
    }

private:
    static constexpr std::uint32_t kMaxSplitMembers = 8;

    static bool readResourceEvent(PluginBase& plugin, const char* eventName,
                                  const TavHostValue& host, PluginResourceEvent& record) {
        const TavHostEntry* data = nullptr;
        TavHostEntry others[kMaxSplitMembers];
        std::uint32_t otherCount = 0;
        bool split = host.tag == TAV_HOST_OBJECT && host.payload.object.count <= kMaxSplitMembers;
        for (std::uint32_t i = 0; split && i < host.payload.object.count; ++i) {
            const TavHostEntry& entry = host.payload.object.entries[i];
            if (entry.key != nullptr && std::string_view(entry.key) == "data") {
                split = data == nullptr;
                data = &entry;
            } else {
                others[otherCount++] = entry;
            }
        }
        BindingValue payload;
        if (!split || data == nullptr) {
            return readPayload(plugin, eventName, host, payload) &&
                   convertPayload(plugin, eventName, payload, record);
        }
        TavHostValue rest = host;
        rest.payload.object.entries = others;
        rest.payload.object.count = otherCount;
        // The data lies one level below the payload's root.
        return readPayload(plugin, eventName, rest, payload) &&
               convertPayload(plugin, eventName, payload, record) &&
               readPayload(plugin, eventName, data->value, record.data, 1);
    }
};

std::shared_ptr<EventHandler> resourceDispatcher() {
    return std::make_shared<ResourceEventHandler>();
}

}  // namespace

void EventSubscriptions::subscribe(std::string_view uri) {
    const std::string name = eventNameForUri(uri);
    if (++subscriptionCounts_[name] != 1) {
        return;
    }
    Trace("%s: Subscribing to event: %s", owner_.shortName().c_str(), name.c_str());
    eventHandlers_[name] = resourceDispatcher();
    owner_.HostSubscribe(name.c_str(), owner_.hostContext(), &EventSubscriptions::hostEventCallback,
                         &owner_, kResourceSubscriptionFlag);
}

void EventSubscriptions::unsubscribe(std::string_view uri) {
    const std::string name = eventNameForUri(uri);
    const auto count = subscriptionCounts_.find(name);
    if (count == subscriptionCounts_.end() || count->second == 0) {
        return;
    }
    if (--count->second != 0) {
        return;
    }
    subscriptionCounts_.erase(count);
    owner_.HostUnsubscribe(name.c_str(), owner_.hostContext());
    // An event being handled keeps its handler alive through its own
    // reference (deliver), so a handler may unsubscribe itself.
    eventHandlers_.erase(name);
    Trace("%s: Unsubscribing to event: %s", owner_.shortName().c_str(), name.c_str());
}

void EventSubscriptions::unsubscribeAll() {
    // Sorted so that the host sees the same order on every run.
    std::vector<std::string> names;
    names.reserve(eventHandlers_.size());
    for (const auto& [name, handler] : eventHandlers_) {
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        owner_.HostUnsubscribe(name.c_str(), owner_.hostContext());
    }
    eventHandlers_.clear();
    subscriptionCounts_.clear();
    exactListeners_.clear();
    patternListeners_.clear();
}

void EventSubscriptions::addRawResourceListener(std::string_view uriOrPattern,
                                                ResourceHandler handler) {
    std::string key(uriOrPattern);
    if (key.find('*') == std::string::npos) {
        exactListeners_[key] = std::move(handler);
    } else {
        const auto existing = std::find_if(patternListeners_.begin(), patternListeners_.end(),
                                           [&](const auto& entry) { return entry.first == key; });
        if (existing != patternListeners_.end()) {
            existing->second = std::move(handler);  // keeps its place in the order
        } else {
            patternListeners_.emplace_back(std::move(key), std::move(handler));
        }
    }
    owner_.Subscribe(uriOrPattern);
}

void EventSubscriptions::dispatchResourceEvent(const PluginResourceEvent& event) {
    PluginResourceEvent normalised;
    const PluginResourceEvent* delivered = &event;
    if (!event.uri.starts_with('/')) {
        normalised = event;
        normalised.uri.insert(0, 1, '/');
        delivered = &normalised;
    }

    // The handlers to call are copied first: a listener may add listeners
    // (replacing the one running, or growing the tables) while it runs, and
    // such changes take effect from the next event on.
    std::vector<ResourceHandler> handlers;
    if (const auto exact = exactListeners_.find(delivered->uri); exact != exactListeners_.end()) {
        handlers.push_back(exact->second);
    }
    for (const auto& [pattern, handler] : patternListeners_) {
        if (uriPatternMatches(pattern, delivered->uri)) {
            handlers.push_back(handler);
        }
    }
    for (const ResourceHandler& handler : handlers) {
        handler(*delivered);
    }
}

void TAV_ABI EventSubscriptions::hostEventCallback(const TavHostEvent* event) {
    const char* name = event != nullptr ? event->name : nullptr;
    guardHostCall({"HostEventCallback", name}, [event] {
        if (event == nullptr || event->userData == nullptr || event->name == nullptr) {
            return;
        }
        const bool delivered = deliverToLivePlugin(
            event->userData, [event](PluginBase& plugin) { plugin.events().deliver(*event); });
        if (!delivered) {
            Log(LogLevel::Warn, static_cast<std::uint32_t>(LogCategory::Debug), 0,
                "Dropped event %s: its plugin has shut down", event->name);
        }
    });
}

void EventSubscriptions::deliver(const TavHostEvent& event) {
    const auto found = eventHandlers_.find(event.name);
    if (found == eventHandlers_.end()) {
        return;
    }
    const std::shared_ptr<EventHandler> handler = found->second;
    handler->handle(owner_, event.name, event.payload);
}

void EventSubscriptions::subscribeHostEvent(const std::string& eventName,
                                            std::shared_ptr<EventHandler> handler,
                                            std::uint32_t flag) {
    // A second Init registers again: the handler is replaced, but the host
    // keeps one subscription, or it would deliver every event twice.
    auto& slot = eventHandlers_[eventName];
    const bool subscribed = slot != nullptr;
    slot = std::move(handler);
    if (!subscribed) {
        owner_.HostSubscribe(eventName.c_str(), owner_.hostContext(),
                             &EventSubscriptions::hostEventCallback, &owner_, flag);
    }
}

void EventSubscriptions::subscribeServiceProxyEvents() {
    using Handler = TypedEventHandler<PluginServiceProxyResponse>;
    subscribeHostEvent(
        kServiceProxyUuidEvent,
        std::make_shared<Handler>([](PluginBase& plugin, const PluginServiceProxyResponse& answer) {
            plugin.serviceProxy().storeAndFulfil(answer.uuid, answer, plugin.shortName());
        }),
        kServiceProxySubscriptionFlag);
    subscribeHostEvent(
        kServiceProxyMethodEvent,
        std::make_shared<Handler>([](PluginBase& plugin, const PluginServiceProxyResponse& answer) {
            plugin.serviceProxy().storeAndFulfil(ServiceProxyTables::methodKey(answer), answer,
                                                 plugin.shortName());
        }),
        kServiceProxySubscriptionFlag);
    subscribeHostEvent(
        kServiceProxyAsyncEvent,
        std::make_shared<Handler>([](PluginBase& plugin, const PluginServiceProxyResponse& answer) {
            plugin.serviceProxy().handleAsync(answer, plugin.shortName());
        }),
        kServiceProxySubscriptionFlag);
}

std::uint32_t EventSubscriptions::subscriptionCount(const std::string& eventName) const {
    const auto it = subscriptionCounts_.find(eventName);
    return it != subscriptionCounts_.end() ? it->second : 0;
}

bool EventSubscriptions::hasEventHandler(const std::string& eventName) const {
    return eventHandlers_.contains(eventName);
}

}  // namespace tav

// Host event subscription and dispatch of PluginBase: reference-counted
// subscriptions per host event name, the callback the host delivers events
// through, the resource listener tables and the service-proxy handlers.
#include <algorithm>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "binding/host_value.h"
#include "binding/native_conversion.h"
#include "binding/static_type_info.h"
#include "framework/framework_types.h"
#include "framework/plugin_base.h"
#include "framework/resource_events.h"
#include "log/log_manager.h"

namespace tav {
namespace {

constexpr const char* kResourceEventPrefix = "OnJsonApiEvent";
constexpr const char* kPlatformConfigPiece = "tav-platform-config";
constexpr std::size_t kDefaultEventNameParts = 4;
constexpr std::size_t kPlatformConfigEventNameParts = 6;

constexpr const char* kServiceProxyUuidEvent = "OnServiceProxyUuidEvent";
constexpr const char* kServiceProxyMethodEvent = "OnServiceProxyMethodEvent";
constexpr const char* kServiceProxyAsyncEvent = "OnServiceProxyAsyncEvent";
constexpr std::uint32_t kResourceSubscriptionFlag = 0;
constexpr std::uint32_t kServiceProxySubscriptionFlag = 1;

// Not a line of the subscription rules: the last resort at the host boundary.
constexpr const char* kDroppedEventLine = "%s: Dropped event %s after an exception: %s";

// The payload name conversion messages use, as for request results.
constexpr const char* kPayloadName = "<result>";

// Converts the payload value into the event's native record, then hands it
// on. Each event name has one handler: resource events convert to
// PluginResourceEvent, service-proxy events to PluginServiceProxyResponse.
template <class Payload>
class TypedEventHandler final : public EventHandler {
public:
    using Callback = void (*)(PluginBase& plugin, const Payload& payload);

    explicit TypedEventHandler(Callback callback) : callback_(callback) {}

    void handle(PluginBase& plugin, const char* eventName, const BindingValue& payload) override {
        Payload record;
        const BindingResult converted = fromValue(record, payload, kPayloadName, plugin.registry());
        if (!converted) {
            Trace("%s: Couldn't convert payload %s for event %s: %s", plugin.shortName().c_str(),
                  kPayloadName, eventName, std::string(converted.error()).c_str());
            return;
        }
        Trace("%s: Handling event %s", plugin.shortName().c_str(), eventName);
        callback_(plugin, record);
    }

private:
    Callback callback_;
};

std::shared_ptr<EventHandler> resourceDispatcher() {
    return std::make_shared<TypedEventHandler<PluginResourceEvent>>(
        [](PluginBase& plugin, const PluginResourceEvent& event) {
            plugin.DispatchResourceEvent(event);
        });
}

}  // namespace

std::string eventNameForUri(std::string_view uri) {
    std::vector<std::string_view> parts{kResourceEventPrefix};
    std::size_t start = 0;
    while (start <= uri.size()) {
        std::size_t end = uri.find('/', start);
        if (end == std::string_view::npos) {
            end = uri.size();
        }
        if (end > start) {
            parts.push_back(uri.substr(start, end - start));
        }
        start = end + 1;
    }
    const std::size_t keep = parts.size() >= 2 && parts[1] == kPlatformConfigPiece
                                 ? kPlatformConfigEventNameParts
                                 : kDefaultEventNameParts;
    parts.resize(std::min(parts.size(), keep));

    std::string name;
    for (const std::string_view part : parts) {
        if (!name.empty()) {
            name += '_';
        }
        name += part;
    }
    return name;
}

bool uriPatternMatches(std::string_view pattern, std::string_view uri) {
    std::size_t p = 0;
    std::size_t u = 0;
    while (p < pattern.size() && u < uri.size()) {
        if (pattern[p] == '*') {
            if (uri[u] == '/') {
                ++p;
            } else if (++u == uri.size()) {
                ++p;
            }
        } else if (pattern[p] == uri[u]) {
            ++p;
            ++u;
        } else {
            return false;
        }
    }
    return p == pattern.size() && u == uri.size();
}

void PluginBase::Subscribe(std::string_view uri) {
    const std::string name = eventNameForUri(uri);
    if (++subscriptionCounts_[name] != 1) {
        return;
    }
    Trace("%s: Subscribing to event: %s", shortName_.c_str(), name.c_str());
    eventHandlers_[name] = resourceDispatcher();
    HostSubscribe(name.c_str(), hostContext_, &PluginBase::HostEventCallback, this,
                  kResourceSubscriptionFlag);
}

void PluginBase::Unsubscribe(std::string_view uri) {
    const std::string name = eventNameForUri(uri);
    const auto count = subscriptionCounts_.find(name);
    if (count == subscriptionCounts_.end() || count->second == 0) {
        return;
    }
    if (--count->second != 0) {
        return;
    }
    subscriptionCounts_.erase(count);
    HostUnsubscribe(name.c_str(), hostContext_);
    // An event being handled keeps its handler alive through its own
    // reference (HostEventCallback), so a handler may unsubscribe itself.
    eventHandlers_.erase(name);
    Trace("%s: Unsubscribing to event: %s", shortName_.c_str(), name.c_str());
}

void PluginBase::Shutdown() {
    // Sorted so that the host sees the same order on every run.
    std::vector<std::string> names;
    names.reserve(eventHandlers_.size());
    for (const auto& [name, handler] : eventHandlers_) {
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        HostUnsubscribe(name.c_str(), hostContext_);
    }
    eventHandlers_.clear();
    subscriptionCounts_.clear();
    exactListeners_.clear();
    patternListeners_.clear();
    serviceProxy_.clear();
}

void PluginBase::AddRawResourceListener(std::string_view uriOrPattern, ResourceHandler handler) {
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
    Subscribe(uriOrPattern);
}

void PluginBase::DispatchResourceEvent(const PluginResourceEvent& event) {
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

// The host calls this on its own frames: nothing may unwind into them. A
// listener's exception (an empty handler, exhausted memory) drops the event
// and is logged instead.
void TAV_ABI PluginBase::HostEventCallback(const TavHostEvent* event) {
    if (event == nullptr || event->userData == nullptr || event->name == nullptr) {
        return;
    }
    auto* plugin = static_cast<PluginBase*>(event->userData);
    try {
        const auto found = plugin->eventHandlers_.find(event->name);
        if (found == plugin->eventHandlers_.end()) {
            return;
        }
        const std::shared_ptr<EventHandler> handler = found->second;

        BindingValue payload;
        BindingErrorSink sink;
        if (!hostToValue(sink, payload, event->payload, kPayloadName)) {
            Trace("%s: Couldn't convert payload %s for event %s: %s", plugin->shortName_.c_str(),
                  kPayloadName, event->name, sink.message.c_str());
            return;
        }
        handler->handle(*plugin, event->name, payload);
    } catch (const std::exception& error) {
        Log(LogLevel::Error, 1, 0, kDroppedEventLine, plugin->shortName_.c_str(), event->name,
            error.what());
    } catch (...) {
        Log(LogLevel::Error, 1, 0, kDroppedEventLine, plugin->shortName_.c_str(), event->name,
            "unknown exception");
    }
}

void PluginBase::SubscribeHostEvent(const std::string& eventName,
                                    std::shared_ptr<EventHandler> handler, std::uint32_t flag) {
    // A second Init registers again: the handler is replaced, but the host
    // keeps one subscription, or it would deliver every event twice.
    auto& slot = eventHandlers_[eventName];
    const bool subscribed = slot != nullptr;
    slot = std::move(handler);
    if (!subscribed) {
        HostSubscribe(eventName.c_str(), hostContext_, &PluginBase::HostEventCallback, this, flag);
    }
}

void PluginBase::SubscribeServiceProxyEvents() {
    using Handler = TypedEventHandler<PluginServiceProxyResponse>;
    SubscribeHostEvent(
        kServiceProxyUuidEvent,
        std::make_shared<Handler>([](PluginBase& plugin, const PluginServiceProxyResponse& answer) {
            plugin.serviceProxy().storeAndFulfil(answer.uuid, answer, plugin.shortName());
        }),
        kServiceProxySubscriptionFlag);
    SubscribeHostEvent(
        kServiceProxyMethodEvent,
        std::make_shared<Handler>([](PluginBase& plugin, const PluginServiceProxyResponse& answer) {
            plugin.serviceProxy().storeAndFulfil(ServiceProxyTables::methodKey(answer), answer,
                                                 plugin.shortName());
        }),
        kServiceProxySubscriptionFlag);
    SubscribeHostEvent(
        kServiceProxyAsyncEvent,
        std::make_shared<Handler>([](PluginBase& plugin, const PluginServiceProxyResponse& answer) {
            plugin.serviceProxy().handleAsync(answer, plugin.shortName());
        }),
        kServiceProxySubscriptionFlag);
}

}  // namespace tav

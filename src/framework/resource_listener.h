// Typed resource listeners: AddResourceListener<T> registers a handler for a
// resource URI (or a "*" pattern) that receives events with their data
// converted to T, subscribes to the resource's host event and, for a plain
// URI, delivers the resource's current state at once as a Create.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "binding/native_conversion.h"
#include "binding/static_type_info.h"
#include "framework/framework_types.h"
#include "framework/plugin_base.h"
#include "framework/remote_request.h"
#include "framework/resource_events.h"
#include "log/log_manager.h"

namespace tav {

template <class T>
using ResourceEventHandler = std::function<void(const ResourceEvent<T>&)>;

namespace detail {

// Wraps a typed handler as the plugin's untyped listener. Data that does not
// convert to T drops the event for this listener only. A Delete carries no
// usable data, so the handler gets a default T whatever came with it.
template <class T>
ResourceHandler typedResourceHandler(PluginBase& plugin, ResourceEventHandler<T> handler) {
    return [&plugin, handler = std::move(handler)](const PluginResourceEvent& event) {
        ResourceEvent<T> typed;
        typed.uri = event.uri;
        typed.eventType = event.eventType;
        if (event.eventType != PluginResourceEventType::Delete) {
            const BindingResult converted =
                fromValue(typed.data, event.data, "<value>", plugin.registry());
            if (!converted) {
                Trace("Couldn't convert resource %s to C++ while handling update for URL: %s",
                      staticTypeInfo<T>().name, event.uri.c_str());
                return;
            }
        }
        handler(typed);
    };
}

}  // namespace detail

// Call after Init has stored the host context. Registering the same text
// again replaces its listener (and adds a subscription reference). A pattern
// subscribes under the event name of its own text, so its resources' events
// reach it when the "*" lies beyond the pieces that name keeps
// ("/x/v1/res/*", not "/x/*/res").
template <class T>
void AddResourceListener(PluginBase& plugin, std::string_view uriOrPattern,
                         std::type_identity_t<ResourceEventHandler<T>> handler) {
    ResourceHandler listener = detail::typedResourceHandler<T>(plugin, std::move(handler));
    if (uriOrPattern.find('*') != std::string_view::npos) {
        plugin.events().addRawResourceListener(uriOrPattern, std::move(listener));
        return;
    }
    plugin.events().addRawResourceListener(uriOrPattern, listener);

    // The current state, so the listener does not wait for the next change.
    // A resource that cannot be read yet simply arrives with its first event.
    RequestOutcome<BindingValue> current =
        request<BindingValue>(plugin, MethodCode::Get, uriOrPattern);
    if (!current.ok()) {
        return;
    }
    PluginResourceEvent created;
    created.uri = std::string(uriOrPattern);
    created.eventType = PluginResourceEventType::Create;
    created.data = std::move(current).value();
    listener(created);
}

}  // namespace tav

// Records a host builds for the module, for the tests that drive it without
// FacadeHost (whose bookkeeping allocates and is not thread-safe): an
// implementation-active event, its delivery, an endpoint and a request to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/host_value.h"
#include "hostkit/event_host.h"

namespace tav::testing {

// {uri: base + "v1/implementation-active", eventType: "Update", data: active}.
inline HostValueRecord implementationActive(const std::string& base, bool active) {
    BindingValue payload;
    payload.member("uri").setString(base + "v1/implementation-active");
    payload.member("eventType").setString("Update");
    payload.member("data").setBool(active);
    HostValueRecord record;
    (void)valueToHost(nullptr, record, payload);
    return record;
}

// Straight to every subscription's callback, allocating nothing.
inline void deliverToAll(const std::vector<hostkit::Subscription>& subscriptions,
                         const TavHostValue& payload) {
    for (const hostkit::Subscription& s : subscriptions) {
        const TavHostEvent event{s.name.c_str(), payload, 0, s.userData};
        s.callback(&event);
    }
}

// The endpoint registered for method and path (its template), or null.
inline const TavEndpointRecord* findEndpoint(const void* endpointTable, std::uint32_t method,
                                             std::string_view path) {
    const auto* table = static_cast<const TavEndpointTable*>(endpointTable);
    for (std::uint32_t i = 0; table != nullptr && i < table->endpointCount; ++i) {
        const TavEndpointRecord& endpoint = table->endpoints[i];
        if (endpoint.method == method && path == endpoint.path) {
            return &endpoint;
        }
    }
    return nullptr;
}

// A request to endpoint for url, with body (no content type when it is empty);
// the texts must outlive the request.
inline TavRequest requestTo(const TavEndpointRecord& endpoint, const char* url,
                            std::string_view body, const char* contentType) {
    TavRequest request{};
    request.method = endpoint.method;
    request.url = url;
    request.endpoint = endpoint.function.endpoint;
    request.contentType = body.empty() ? nullptr : contentType;
    request.body = reinterpret_cast<const std::uint8_t*>(body.data());
    request.bodyLength = static_cast<std::uint32_t>(body.size());
    return request;
}

}  // namespace tav::testing

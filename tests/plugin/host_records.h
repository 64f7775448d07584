// Records a host builds for the module, for the tests that drive it without
// FacadeHost (whose bookkeeping allocates and is not thread-safe): the payload
// of an implementation-active event, the lookup of an endpoint and a request
// to it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tav/plugin_abi.h>

namespace tav::testing {

// {uri: base + "v1/implementation-active", eventType: "Update", data: active};
// the record points into this object.
class ImplementationActivePayload {
public:
    ImplementationActivePayload(const std::string& base, bool active)
        : uri_(base + "v1/implementation-active") {
        entries_[0].key = "uri";
        entries_[0].value.tag = TAV_HOST_STRING;
        entries_[0].value.payload.text = uri_.c_str();
        entries_[1].key = "eventType";
        entries_[1].value.tag = TAV_HOST_STRING;
        entries_[1].value.payload.text = "Update";
        entries_[2].key = "data";
        entries_[2].value.tag = TAV_HOST_BOOL;
        entries_[2].value.payload.boolean = active ? 1 : 0;
        payload_.tag = TAV_HOST_OBJECT;
        payload_.payload.object.entries = entries_;
        payload_.payload.object.count = 3;
    }
    ImplementationActivePayload(const ImplementationActivePayload&) = delete;
    ImplementationActivePayload& operator=(const ImplementationActivePayload&) = delete;

    const TavHostValue& record() const { return payload_; }

private:
    std::string uri_;
    TavHostEntry entries_[3] = {};
    TavHostValue payload_{};
};

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

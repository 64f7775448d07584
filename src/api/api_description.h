// Stub of the API description until its real implementation lands: the seam
// the API object builds through. Replaced wholesale by the real one.
#pragma once

#include <memory>
#include <vector>

#include <tav/plugin_abi.h>

namespace tav {

class BindingTypeRegistry;
struct RouteRegistration;

using TavEndpointEntry = void(TAV_ABI*)(TavResponse* response, const TavRequest* request);

class ApiDescription {
public:
    static std::unique_ptr<ApiDescription> build(
        const BindingTypeRegistry& registry, const std::vector<RouteRegistration*>& registrations,
        TavEndpointEntry entry);
    // The six-word endpoint table; null in the stub.
    const void* table() const { return nullptr; }
};

}  // namespace tav

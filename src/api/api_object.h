// The API object: the plugin's table of route registrations, in registration
// order, and the API description built from them once for the host. The
// table is filled at load time under the object's mutex; requests only read
// registrations that no longer change.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include <tav/plugin_abi.h>

#include "api/api_description.h"
#include "api/route_registration.h"

namespace tav {

class BindingTypeRegistry;
struct BindingFunctionDescriptor;

class ApiObject {
public:
    ApiObject();
    ~ApiObject();
    ApiObject(const ApiObject&) = delete;
    ApiObject& operator=(const ApiObject&) = delete;

    // A fresh registration of function: no handler, empty path, method 0, one
    // location 0 per parameter. An existing registration of the same function
    // is replaced in place (its address, which the host holds, stays).
    RouteRegistration& registerRoute(const BindingFunctionDescriptor& function);

    // The registrations in registration order.
    std::vector<RouteRegistration*> registrations() const;

    // Builds the API description on the first call and keeps it; later calls
    // return the same one.
    const ApiDescription& buildDescription(const BindingTypeRegistry& registry);

    // The entry every endpoint of the description names.
    static TavEndpointEntry endpointEntry() noexcept;

private:
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<RouteRegistration>> registrations_;
    std::unique_ptr<ApiDescription> description_;
};

}  // namespace tav

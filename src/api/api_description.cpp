#include "api/api_description.h"

namespace tav {

std::unique_ptr<ApiDescription> ApiDescription::build(
    const BindingTypeRegistry& /*registry*/,
    const std::vector<RouteRegistration*>& /*registrations*/, TavEndpointEntry /*entry*/) {
    return std::make_unique<ApiDescription>();
}

}  // namespace tav

#include "api/route_registration.h"

#include "api/route.h"
#include "binding/type_registry.h"

namespace tav {

RouteRegistration& RouteRegistration::setPath(std::string_view newPath) {
    if (newPath.size() > 1 && newPath.back() == '/') {
        newPath.remove_suffix(1);
    }
    path = newPath;
    buildRoute();
    return *this;
}

RouteRegistration& RouteRegistration::setMethod(std::uint32_t code) {
    method = code;
    customMethod.clear();
    return *this;
}

void RouteRegistration::buildRoute() {
    const std::string_view routePath =
        path.empty() && function != nullptr ? std::string_view(function->name) : path;
    route = std::make_shared<const Route>(makeRoute(function, this, routePath));
}

}  // namespace tav

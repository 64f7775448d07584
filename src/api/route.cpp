#include "api/route.h"

#include "api/percent_decoding.h"
#include "api/route_registration.h"

namespace tav {
namespace {

bool methodAccepts(const RouteRegistration& registration, const MatchRecord& match) {
    return registration.method == 0 ||
           (registration.method == match.method && registration.customMethod == match.customMethod);
}

std::size_t decodedLength(const ArgumentMap& arguments) {
    std::size_t total = 0;
    for (const auto& [name, text] : arguments) {
        total += text.size();
    }
    return total;
}

}  // namespace

Route makeRoute(const BindingFunctionDescriptor* function, const RouteRegistration* registration,
                std::string_view path) {
    Route route;
    route.function = function;
    route.registration = registration;
    if (path.find('{') != std::string_view::npos) {
        route.templated = true;
        route.pattern = PathPattern(path, route.parameters);
    } else {
        route.literalPath = path;
    }
    return route;
}

bool matchRoute(const Route& route, std::string_view path, ArgumentMap& arguments) {
    if (!route.templated) {
        return path == route.literalPath;
    }
    std::vector<std::string_view> captures;
    if (!route.pattern.match(path, captures)) {
        return false;
    }
    // Every capture of these templates takes part in a match; a capture that
    // did not would make the route fail here.
    for (std::size_t i = 0; i < captures.size(); ++i) {
        std::string& text = arguments[route.parameters[i].name];
        text.clear();
        appendPercentDecoded(text, captures[i]);
    }
    return true;
}

bool findRoute(MatchRecord& match, std::span<const Route> routes, bool methodCheck) {
    const Route* chosen = nullptr;
    std::size_t chosenLength = 0;
    for (const Route& route : routes) {
        if (!route.reservedPath.empty() && match.method != 2 && match.method != 3) {
            continue;
        }
        ArgumentMap arguments;
        if (!matchRoute(route, match.path, arguments)) {
            continue;
        }
        if (methodCheck && route.registration != nullptr &&
            !methodAccepts(*route.registration, match)) {
            continue;
        }
        const std::size_t length = decodedLength(arguments);
        if (chosen != nullptr && length >= chosenLength) {
            continue;
        }
        chosen = &route;
        chosenLength = length;
        match.function = route.function;
        match.registration = route.registration;
        match.arguments = std::move(arguments);
        match.matchedPath = route.reservedPath;
        if (match.arguments.empty()) {
            break;
        }
    }
    return chosen != nullptr;
}

}  // namespace tav

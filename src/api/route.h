// Routes and the choice of a route for a request: a route is a function's
// path, literal or compiled from a template, with its function and
// registration; a match record carries one request's method and path in and
// the chosen route with its decoded path arguments out.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "api/path_template.h"

namespace tav {

struct BindingFunctionDescriptor;
struct RouteRegistration;

// Decoded arguments by name; iteration is in name order, so the arguments of
// a request are always assigned in the same order.
using ArgumentMap = std::map<std::string, std::string, std::less<>>;

struct Route {
    const BindingFunctionDescriptor* function = nullptr;
    const RouteRegistration* registration = nullptr;
    std::string literalPath;   // set when the path has no "{"
    std::string reservedPath;  // non-empty restricts the route to GET and HEAD; unused here
    bool templated = false;
    PathPattern pattern;                    // templated paths only
    std::vector<PathParameter> parameters;  // parameter i belongs to capture i+1
};

// A path containing "{" is compiled once here; any other is kept literally.
Route makeRoute(const BindingFunctionDescriptor* function, const RouteRegistration* registration,
                std::string_view path);

struct MatchRecord {
    std::uint32_t method = 0;       // 1 to 8, else 0
    std::string_view customMethod;  // with method 8
    std::string_view path;          // as the host gave it
    const BindingFunctionDescriptor* function = nullptr;
    const RouteRegistration* registration = nullptr;
    ArgumentMap arguments;
    std::string matchedPath;
};

// Whether path matches route exactly; on a match the captures, decoded, are
// stored under their parameters' names (a later equal name overwrites).
// Matching a literal route does not allocate.
bool matchRoute(const Route& route, std::string_view path, ArgumentMap& arguments);

// Chooses among routes in order: the route that matches with the method (when
// methodCheck is on) and the smallest total length of decoded arguments, the
// earlier one on a tie; a match without arguments ends the search.
bool findRoute(MatchRecord& match, std::span<const Route> routes, bool methodCheck);

}  // namespace tav

// What the plugin registers for each API function it offers: the function's
// path, method and declared argument locations with the handler that answers
// it, kept by the API object that dispatches requests and describes the API
// to the host. The registrations are made at load time and only read after.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

struct BindingFunctionDescriptor;
class EndpointHandler;  // the handler object a request is dispatched to (dispatcher)
class ApiObject;
struct Route;

// Where a parameter may be given; the endpoint table carries the codes as is.
enum class ArgumentLocation : std::uint32_t {
    Any = 0,
    Query = 1,
    Path = 2,
    Header = 4,
    Body = 5,
};

struct RouteRegistration;

// The pair the host passes back in word 16 of every request to an endpoint:
// its address is written at offset 8 of the endpoint's entry.
struct EndpointBinding {
    ApiObject* api = nullptr;
    RouteRegistration* registration = nullptr;
};

struct RouteRegistration {
    const BindingFunctionDescriptor* function = nullptr;
    std::shared_ptr<EndpointHandler> handler;
    std::string path;  // set through setPath: one trailing "/" dropped
    std::uint32_t method = 0;
    std::string customMethod;
    std::vector<ArgumentLocation> locations;          // one per parameter of the function
    std::uint8_t flag = 0;                            // copied to the endpoint entry
    std::vector<std::vector<std::string>> textLists;  // copied to the endpoint entry
    EndpointBinding binding;                          // {api, this}
    // Built from the path (or, while that is empty, the function's name) by
    // setPath and registerRoute, so that a template is compiled once.
    std::shared_ptr<const Route> route;

    // The registration builder's operations.
    RouteRegistration& setPath(std::string_view newPath);
    RouteRegistration& setMethod(std::uint32_t code);  // clears the custom method text

    // Compiles the route of the current path; setPath calls it.
    void buildRoute();
};

}  // namespace tav

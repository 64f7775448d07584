// Requests to the module's API as a host routes them: the endpoint is found
// by matching the path against the paths and methods of the endpoint table
// the module handed over, the request record carries the path with its
// query, the headers, the content type and the body, and the response record
// is read and released once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"

namespace tav::devhost {

// Whether path fits the endpoint path template: "{name}" takes one segment,
// "{+name}" the rest of the path.
bool pathMatchesTemplate(std::string_view pathTemplate, std::string_view path);

struct EndpointMatch {
    const TavEndpointRecord* endpoint = nullptr;  // null: none for this method
    // Of the endpoints whose path fits; copies, as the module that named
    // them may be unloaded before they are read.
    std::vector<std::string> allowedMethods;
};

// The endpoint for method (a name) and path (without query). A literal path
// is preferred to a template.
EndpointMatch findEndpoint(const TavEndpointTable& table, std::string_view method,
                           std::string_view path);

struct ApiRequest {
    std::string method;
    std::string target;  // path with "?query"
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
};

// What the response record said, copied out before it was released.
struct ApiAnswer {
    bool isError = false;
    std::string errorText;
    std::uint32_t status = 0;  // 0: the module set none
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    BindingValue value;
    bool streamed = false;
    std::string streamText;  // a streamed answer, read to its end
};

// Calls the endpoint; the caller holds the host's lock.
ApiAnswer callEndpoint(const TavEndpointRecord& endpoint, const ApiRequest& request);

}  // namespace tav::devhost

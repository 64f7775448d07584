// The OpenAPI 3.1 document of a loaded module, generated from the endpoint
// table it hands the host: nothing in it is written by hand.
#pragma once

#include <string>
#include <string_view>

#include "tav/plugin_abi.h"

namespace tav::devhost {

struct OpenApiInfo {
    std::string_view title;
    std::string_view version;
    std::string_view serverUrl;  // e.g. "http://127.0.0.1:8080"
};

// Returns the document as JSON text.
std::string openApiDocument(const TavEndpointTable& table, const OpenApiInfo& info);

}  // namespace tav::devhost

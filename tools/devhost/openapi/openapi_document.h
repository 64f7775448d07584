// The OpenAPI 3.1 document of a loaded module, generated from the endpoint
// table it hands the host: paths and operations from the endpoint records,
// component schemas from the type records they reach. Nothing in it is
// written by hand, so the document always matches the module that runs.
#pragma once

#include <string>
#include <string_view>

#include "tav/plugin_abi.h"

namespace tav::devhost {

struct OpenApiInfo {
    std::string_view title;
    std::string_view version;
    std::string_view serverUrl;  // e.g. "http://127.0.0.1:8080"; none when empty
};

// Returns the document as JSON text (indented, for people reading it raw).
std::string openApiDocument(const TavEndpointTable& table, const OpenApiInfo& info);

}  // namespace tav::devhost

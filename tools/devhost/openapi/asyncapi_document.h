// The AsyncAPI 3.0 document of the tool's event stream (GET /events):
// one message for each event record of the loaded module, its payload
// schemas shared with the OpenAPI document, and the tool's own messages
// (devhost, log, module, stream-closed). Each message names the SSE event field it
// arrives under in "x-sse-event".
#pragma once

#include <string>
#include <string_view>

#include "tav/plugin_abi.h"

namespace tav::devhost {

struct AsyncApiInfo {
    std::string_view title;
    std::string_view version;
    std::string_view host;  // e.g. "127.0.0.1:8080"; no server when empty
};

// Returns the document as JSON text (indented, for people reading it raw).
std::string asyncApiDocument(const TavEndpointTable& table, const AsyncApiInfo& info);

}  // namespace tav::devhost

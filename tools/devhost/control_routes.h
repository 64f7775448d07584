// The control routes under /_dev/ (the origin and the token are checked
// before they run): the simulated state, the active implementation,
// resources, scripted answers (added, listed and removed), reloading the
// scenario and stopping the tool.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "dev_host.h"
#include "server/http_message.h"

namespace tav::devhost {

// The answer of the control route at path (below "/_dev/") for method, or
// nullopt when there is none. onShutdown must not block.
std::optional<HttpResponse> controlRoute(DevHost& host, const std::function<void()>& onShutdown,
                                         std::string_view method, std::string_view path,
                                         const HttpRequest& request);

}  // namespace tav::devhost

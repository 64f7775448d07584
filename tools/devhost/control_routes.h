// The control routes under /_dev/ (the token is checked before they run):
// the simulated state, the active implementation, resources, scripted
// answers, reloading the scenario and stopping the tool.
#pragma once

#include <functional>

#include <httplib.h>

#include "dev_host.h"

namespace tav::devhost {

void addControlRoutes(httplib::Server& server, DevHost& host, std::function<void()> onShutdown);

}  // namespace tav::devhost

// What the simulation tests share: a GET on the simulation as the module
// makes it.
#pragma once

#include <string>
#include <string_view>

#include <tav/plugin_abi.h>

#include "simulation/simulation.h"

namespace tav::devhost {

// The answer to a GET of url (relative to the implementation's base), which
// the caller releases.
inline TavResponse answerGet(Simulation& simulation, Implementation implementation,
                             std::string_view url) {
    const std::string full = std::string(implementationBase(implementation)).append(url);
    TavRequest request{};
    request.method = TAV_METHOD_GET;
    request.url = full.c_str();
    TavResponse response{};
    simulation.answer(response, request);
    return response;
}

}  // namespace tav::devhost

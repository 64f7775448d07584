// Starting a plugin as the host does: load it through the framework's loader
// against plugin API 18.0.0, then Init it with the fake host's table.
#pragma once

#include "fake_host.h"

namespace tav {
class PluginBase;
}

namespace tav::testing {

// Returns Init's result (true on success).
bool startPlugin(PluginBase& plugin, FakeHost& host, const char* shortName = "tav-test");

}  // namespace tav::testing

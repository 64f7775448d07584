// The built plugin module loaded the way the host loads it (hostkit's
// PluginModule) and driven through its callbacks against a FakeHost. For
// tests that cross the real module boundary.
#pragma once

#include <cstdint>
#include <string>

#include <tav/plugin_abi.h>

#include "fake_host.h"
#include "hostkit/plugin_module.h"

namespace tav::testing {

class ModuleHost {
public:
    // path: the module file; the version is the host's plugin API version.
    explicit ModuleHost(const std::string& path, std::uint32_t major = 18, std::uint32_t minor = 0,
                        std::uint32_t patch = 0)
        : version_{major, minor, patch}, loaded_(module_.open(path, error_)) {}

    bool loaded() const { return loaded_; }
    const std::string& loadError() const { return error_; }

    // Calls the entry with a fresh load record; returns it as filled.
    const TavLoadRecord& load() { return module_.callEntry(version_); }
    bool init() { return module_.init(host_.table(), host_.initRecord().hostContext); }
    void shutdown() { module_.shutdown(); }
    void memoryStats(std::uint32_t (&words)[14]) { module_.memoryStats(words); }

    FakeHost& host() { return host_; }
    const TavLoadRecord& record() const { return module_.record(); }

private:
    hostkit::ApiVersion version_;
    std::string error_;
    FakeHost host_;
    // After the host: Shutdown, when still due, ends subscriptions there.
    hostkit::PluginModule module_;
    bool loaded_;
};

}  // namespace tav::testing

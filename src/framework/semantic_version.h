// The plugin API version and the rule by which a host accepts a plugin.
#pragma once

#include <cstdint>
#include <string>

namespace tav {

struct SemanticVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    std::string prerelease;
    std::string build;

    // "18.0.0", "2.1.0-rc1+b7".
    std::string text() const;
};

// The plugin API version of this framework.
SemanticVersion frameworkApiVersion();

// A host accepts the plugin when the majors are equal and the host's
// minor.patch is at least the plugin's; prerelease and build are ignored.
bool isCompatible(const SemanticVersion& plugin, const SemanticVersion& host);

}  // namespace tav

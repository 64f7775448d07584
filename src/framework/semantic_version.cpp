#include "framework/semantic_version.h"

#include <tav/plugin_abi.h>

#include "text/message.h"

namespace tav {

std::string SemanticVersion::text() const {
    std::string result = makeMessage("%1.%2.%3", major, minor, patch);
    if (!prerelease.empty()) {
        result += '-';
        result += prerelease;
    }
    if (!build.empty()) {
        result += '+';
        result += build;
    }
    return result;
}

SemanticVersion frameworkApiVersion() {
    SemanticVersion version;
    version.major = TAV_PLUGIN_API_VERSION_MAJOR;
    version.minor = TAV_PLUGIN_API_VERSION_MINOR;
    version.patch = TAV_PLUGIN_API_VERSION_PATCH;
    return version;
}

bool isCompatible(const SemanticVersion& plugin, const SemanticVersion& host) {
    return host.major == plugin.major &&
           (host.minor > plugin.minor ||
            (host.minor == plugin.minor && host.patch >= plugin.patch));
}

}  // namespace tav

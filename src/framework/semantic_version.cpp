#include "framework/semantic_version.h"

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
    return SemanticVersion{TAV_VERSION_MAJOR, TAV_VERSION_MINOR, TAV_VERSION_PATCH, {}, {}};
}

bool isCompatible(const SemanticVersion& plugin, const SemanticVersion& host) {
    return host.major == plugin.major &&
           (host.minor > plugin.minor ||
            (host.minor == plugin.minor && host.patch >= plugin.patch));
}

}  // namespace tav

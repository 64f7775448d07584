#include "framework/resource_events.h"

#include <algorithm>
#include <vector>

namespace tav {
namespace {

constexpr const char* kResourceEventPrefix = "OnJsonApiEvent";
constexpr const char* kPlatformConfigPiece = "tav-platform-config";
constexpr std::size_t kDefaultEventNameParts = 4;
constexpr std::size_t kPlatformConfigEventNameParts = 6;

}  // namespace

std::string eventNameForUri(std::string_view uri) {
    std::vector<std::string_view> parts{kResourceEventPrefix};
    std::size_t start = 0;
    while (start <= uri.size()) {
        std::size_t end = uri.find('/', start);
        if (end == std::string_view::npos) {
            end = uri.size();
        }
        if (end > start) {
            parts.push_back(uri.substr(start, end - start));
        }
        start = end + 1;
    }
    const std::size_t keep = parts.size() >= 2 && parts[1] == kPlatformConfigPiece
                                 ? kPlatformConfigEventNameParts
                                 : kDefaultEventNameParts;
    parts.resize(std::min(parts.size(), keep));

    std::string name;
    for (const std::string_view part : parts) {
        if (!name.empty()) {
            name += '_';
        }
        name += part;
    }
    return name;
}

bool uriPatternMatches(std::string_view pattern, std::string_view uri) {
    std::size_t p = 0;
    std::size_t u = 0;
    while (p < pattern.size() && u < uri.size()) {
        if (pattern[p] == '*') {
            if (uri[u] == '/') {
                ++p;
            } else if (++u == uri.size()) {
                ++p;
            }
        } else if (pattern[p] == uri[u]) {
            ++p;
            ++u;
        } else {
            return false;
        }
    }
    return p == pattern.size() && u == uri.size();
}

}  // namespace tav

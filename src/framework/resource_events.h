// Resource events as listeners see them: the host event name a resource URI
// is published under, the "*" patterns a listener may register, and the typed
// event a listener of native type T receives.
#pragma once

#include <string>
#include <string_view>

#include "framework/framework_types.h"

namespace tav {

// The event a listener of T receives; data is a default T for a Delete.
template <class T>
struct ResourceEvent {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    T data{};
};

// "OnJsonApiEvent" joined by "_" with the URI's non-empty pieces, keeping at
// most four parts (six under "tav-platform-config", whose namespaces nest
// deeper): "/a/v1/b/c" gives "OnJsonApiEvent_a_v1_b".
std::string eventNameForUri(std::string_view uri);

// Whether uri matches pattern, where "*" stands for a run of characters
// other than "/": possibly empty inside the pattern, at least one character
// when the "*" ends it ("/a/*" does not match "/a/"). The walk never
// backtracks, so a "*" directly followed by text other than "/" cannot
// match: patterns put "*" in place of a whole path piece.
bool uriPatternMatches(std::string_view pattern, std::string_view uri);

}  // namespace tav

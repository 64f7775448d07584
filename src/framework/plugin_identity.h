// A plugin's names: its type ("backend", "frontend") and the full name the
// platform knows it by, the type's prefix followed by the short name.
#pragma once

#include <string>
#include <string_view>

namespace tav {

struct PluginType {
    std::string word;
    std::string detail;  // the type record's second text
};

PluginType backendPluginType();
PluginType frontendPluginType();

struct PluginIdentity {
    std::string fullName;
    std::string shortName;
    std::string typeWord;
    std::string typeDetail;
};

// "zub-be-" for "backend", "zub-fe-" for "frontend"; any other type word
// (compared exactly) is logged as an error and gets "zub-xx-".
PluginIdentity GetFullNameFromShortNameAndType(std::string_view shortName, const PluginType& type);

}  // namespace tav

#include "framework/plugin_identity.h"

#include "log/log_manager.h"
#include "text/message.h"

namespace tav {

PluginType backendPluginType() {
    return {"backend", {}};
}

PluginType frontendPluginType() {
    return {"frontend", {}};
}

PluginIdentity GetFullNameFromShortNameAndType(std::string_view shortName, const PluginType& type) {
    const char* prefix = "zub-xx-";
    if (type.word == "backend") {
        prefix = "zub-be-";
    } else if (type.word == "frontend") {
        prefix = "zub-fe-";
    } else {
        const std::string text = makeMessage(
            "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type",
            shortName, type.word);
        Log(LogLevel::Error, static_cast<std::uint32_t>(LogCategory::Debug), 0,
            "            Plugin Manager| %s", text.c_str());
    }
    PluginIdentity identity;
    identity.fullName = prefix;
    identity.fullName += shortName;
    identity.shortName = shortName;
    identity.typeWord = type.word;
    identity.typeDetail = type.detail;
    return identity;
}

}  // namespace tav

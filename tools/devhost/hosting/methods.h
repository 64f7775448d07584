// HTTP method names and the method codes of request records.
#pragma once

#include <cstdint>
#include <string_view>

#include <tav/plugin_abi.h>

namespace tav::devhost {

inline constexpr std::string_view kMethodNames[] = {"",        "DELETE", "GET",  "HEAD",
                                                    "OPTIONS", "PATCH",  "POST", "PUT"};

// TAV_METHOD_CUSTOM for a name outside the table.
inline std::uint32_t methodCode(std::string_view name) {
    for (std::uint32_t code = TAV_METHOD_DELETE; code <= TAV_METHOD_PUT; ++code) {
        if (kMethodNames[code] == name) {
            return code;
        }
    }
    return TAV_METHOD_CUSTOM;
}

// The empty text for codes outside 1 to 7.
inline std::string_view methodText(std::uint32_t code) {
    return code >= TAV_METHOD_DELETE && code <= TAV_METHOD_PUT ? kMethodNames[code] : "";
}

}  // namespace tav::devhost

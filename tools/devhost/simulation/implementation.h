// The two champ-select implementations the development host simulates.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tav::devhost {

enum class Implementation { Legacy = 0, TeamBuilder = 1 };
inline constexpr std::array<Implementation, 2> kImplementations{Implementation::Legacy,
                                                                Implementation::TeamBuilder};

// "legacy" or "team-builder".
constexpr std::string_view implementationName(Implementation implementation) {
    return implementation == Implementation::Legacy ? "legacy" : "team-builder";
}

constexpr std::optional<Implementation> implementationNamed(std::string_view name) {
    if (name == "legacy") {
        return Implementation::Legacy;
    }
    if (name == "team-builder") {
        return Implementation::TeamBuilder;
    }
    return std::nullopt;
}

// The base of its URLs.
constexpr std::string_view implementationBase(Implementation implementation) {
    return implementation == Implementation::Legacy ? "/tav-champ-select-legacy/"
                                                    : "/tav-lobby-team-builder/champ-select/";
}

}  // namespace tav::devhost

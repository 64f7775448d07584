#include "traffic/traffic_kinds.h"

namespace tav::devhost {
namespace {

static_assert([] {
    for (std::size_t i = 0; i < kTrafficKinds.size(); ++i) {
        if (kTrafficKinds[i].kind != static_cast<TrafficKind>(i)) {
            return false;
        }
    }
    return true;
}());

}  // namespace

std::string_view trafficKindName(TrafficKind kind) {
    return kTrafficKinds[static_cast<std::size_t>(kind)].name;
}

std::optional<TrafficKind> trafficKindNamed(std::string_view name) {
    for (const TrafficKindRow& row : kTrafficKinds) {
        if (row.name == name) {
            return row.kind;
        }
    }
    return std::nullopt;
}

std::string missingTrafficMembers(TrafficKind kind, const BindingValue& entry) {
    const TrafficKindRow& row = kTrafficKinds[static_cast<std::size_t>(kind)];
    const std::string name(row.name);
    // The members of one parent are named together: "an api request needs
    // \"method\" and \"target\"".
    std::string_view parent;
    std::string named;
    bool lacking = false;
    const auto verdict = [&] {
        const char* article =
            std::string_view("aeiou").find(name.front()) != std::string::npos ? "an " : "a ";
        return lacking ? article + name + " " + std::string(parent) + " needs " + named
                       : std::string();
    };
    for (const std::string_view member : row.members) {
        const std::size_t dot = member.find('.');
        if (member.empty()) {
            break;
        }
        if (dot == std::string_view::npos) {
            if (entry.tryFind(member) == nullptr) {
                return "a " + name + " entry needs \"" + std::string(member) + "\"";
            }
            continue;
        }
        if (member.substr(0, dot) != parent) {
            if (lacking) {
                return verdict();
            }
            parent = member.substr(0, dot);
            named.clear();
        }
        named += (named.empty() ? "\"" : " and \"") + std::string(member.substr(dot + 1)) + "\"";
        lacking = lacking || entry.find(parent).tryFind(member.substr(dot + 1)) == nullptr;
    }
    return verdict();
}

}  // namespace tav::devhost

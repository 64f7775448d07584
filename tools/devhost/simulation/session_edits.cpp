#include "simulation/session_edits.h"

#include <algorithm>
#include <charconv>

namespace tav::devhost {

std::optional<std::int64_t> numberOf(const BindingValue& value) {
    switch (value.kind()) {
        case BindingValueKind::Signed:
            return value.asInt64();
        case BindingValueKind::Unsigned:
            return static_cast<std::int64_t>(value.asUInt64());
        case BindingValueKind::Float:
            return static_cast<std::int64_t>(value.asDouble());
        case BindingValueKind::String: {
            std::int64_t n = 0;
            const std::string_view text = value.asString();
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec == std::errc() && end == text.data() + text.size()) {
                return n;
            }
            return std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

bool hasId(const BindingValue& value, std::string_view key, std::int64_t id) {
    return numberOf(value.find(key)) == id;
}

BindingValue* memberOf(BindingValue& value, std::string_view key) {
    return const_cast<BindingValue*>(value.tryFind(key));
}

std::span<BindingValue> elementsOf(BindingValue* value) {
    return value != nullptr ? value->elements() : std::span<BindingValue>();
}

BindingValue* cellOf(BindingValue& session, std::int64_t cellId, bool* onMyTeam) {
    for (const char* team : {"myTeam", "theirTeam"}) {
        for (BindingValue& cell : elementsOf(memberOf(session, team))) {
            if (hasId(cell, "cellId", cellId)) {
                if (onMyTeam != nullptr) {
                    *onMyTeam = std::string_view(team) == "myTeam";
                }
                return &cell;
            }
        }
    }
    return nullptr;
}

BindingValue* actionOf(BindingValue& session, std::int64_t id) {
    for (BindingValue& turn : elementsOf(memberOf(session, "actions"))) {
        for (BindingValue& action : turn.elements()) {
            if (hasId(action, "id", id)) {
                return &action;
            }
        }
    }
    return nullptr;
}

std::optional<std::size_t> turnOf(const BindingValue& session, std::int64_t id) {
    std::size_t index = 0;
    for (const BindingValue& turn : session.find("actions").elements()) {
        for (const BindingValue& action : turn.elements()) {
            if (hasId(action, "id", id)) {
                return index;
            }
        }
        ++index;
    }
    return std::nullopt;
}

void complete(BindingValue& session, BindingValue& action) {
    action.member("completed").setBool(true);
    const BindingValue champion = action.find("championId");
    const std::optional<std::int64_t> actor = numberOf(action.find("actorCellId"));
    bool onMyTeam = true;
    BindingValue* cell = actor ? cellOf(session, *actor, &onMyTeam) : nullptr;
    const std::string_view type = action.find("type").asString();
    if (type == "ban") {
        session.member("bans").member(onMyTeam ? "myTeamBans" : "theirTeamBans").append() =
            champion;
    } else if (type == "pick" && cell != nullptr) {
        cell->member("championId") = champion;
    }
}

std::vector<std::int64_t> takenChampions(const BindingValue& session) {
    std::vector<std::int64_t> taken;
    for (const BindingValue& turn : session.find("actions").elements()) {
        for (const BindingValue& action : turn.elements()) {
            const std::optional<std::int64_t> champion = numberOf(action.find("championId"));
            if (action.find("completed").asBool() && champion && *champion != 0) {
                taken.push_back(*champion);
            }
        }
    }
    for (const char* bans : {"myTeamBans", "theirTeamBans"}) {
        for (const BindingValue& id : session.find("bans").find(bans).elements()) {
            if (const std::optional<std::int64_t> champion = numberOf(id);
                champion && *champion != 0) {
                taken.push_back(*champion);
            }
        }
    }
    std::sort(taken.begin(), taken.end());
    taken.erase(std::unique(taken.begin(), taken.end()), taken.end());
    return taken;
}

std::optional<std::int64_t> idIn(std::string_view path, std::string_view prefix,
                                 std::string_view suffix) {
    if (!path.starts_with(prefix) || !path.ends_with(suffix) ||
        path.size() <= prefix.size() + suffix.size()) {
        return std::nullopt;
    }
    const std::string_view digits =
        path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
    std::int64_t id = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return id;
}

}  // namespace tav::devhost

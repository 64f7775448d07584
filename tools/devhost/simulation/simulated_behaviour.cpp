#include "simulation/simulated_behaviour.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>

#include "binding/host_value.h"
#include "simulation/session_edits.h"

namespace tav::devhost {
namespace {

void TAV_ABI releaseAnswer(TavResponse* response) {
    freeHostValue(response->value);
    delete[] response->errorText;
    std::memset(static_cast<void*>(response), 0, sizeof *response);
}

}  // namespace

void fillResponse(TavResponse& response, const SimulatedAnswer& answer) {
    response = TavResponse{};
    response.status = answer.status;
    response.release = &releaseAnswer;
    if (answer.isError) {
        char* text = new char[answer.message.size() + 1];
        std::memcpy(text, answer.message.c_str(), answer.message.size() + 1);
        response.errorText = text;
        response.isError = 1;
        return;
    }
    HostValueRecord record;
    if (valueToHost(nullptr, record, answer.value)) {
        response.value = record.release();
    }
}

void refuse(SimulatedAnswer& answer, std::uint32_t status, std::string message) {
    answer.status = status;
    answer.isError = true;
    answer.message = std::move(message);
}

namespace {

constexpr std::string_view kSession = "v1/session";
constexpr std::string_view kTrades = "v1/session/trades";
constexpr std::string_view kTeamBoost = "v1/team-boost";

BindingValue* resource(ImplementationState& state, std::string_view path) {
    const auto found = state.resources.find(std::string(path));
    return found != state.resources.end() ? &found->second : nullptr;
}

void noContent(SimulatedAnswer& answer) {
    answer.status = 204;
}

bool sessionBehaviour(ImplementationState& state, std::string_view method, std::string_view path,
                      const BindingValue& argument, SimulatedAnswer& answer,
                      std::vector<std::string>& changed) {
    const bool selection = method == "PATCH" && path == "v1/session/my-selection";
    const bool reroll = method == "POST" && path == "v1/session/my-selection/reroll";
    const std::optional<std::int64_t> patched =
        method == "PATCH" ? idIn(path, "v1/session/actions/", "") : std::nullopt;
    const std::optional<std::int64_t> completed =
        method == "POST" ? idIn(path, "v1/session/actions/", "/complete") : std::nullopt;
    if (!selection && !reroll && !patched && !completed) {
        return false;
    }
    BindingValue* session = resource(state, kSession);
    if (session == nullptr) {
        refuse(answer, 404, "No champ select session");
        return true;
    }
    if (selection) {
        const std::optional<std::int64_t> local = numberOf(session->find("localPlayerCellId"));
        BindingValue* cell = local ? cellOf(*session, *local) : nullptr;
        if (cell == nullptr) {
            refuse(answer, 404, "The local player has no cell");
            return true;
        }
        for (const char* key : {"selectedSkinId", "spell1Id", "spell2Id", "wardSkinId"}) {
            if (const BindingValue& value = argument.find(key);
                value.kind() != BindingValueKind::Empty) {
                cell->member(key) = value;
            }
        }
    } else if (reroll) {
        const std::int64_t left = numberOf(session->find("rerollsRemaining")).value_or(0);
        if (left <= 0) {
            refuse(answer, 409, "No rerolls remaining");
            return true;
        }
        session->member("rerollsRemaining").setInt64(left - 1);
    } else {
        const std::int64_t id = patched ? *patched : *completed;
        BindingValue* action = actionOf(*session, id);
        if (action == nullptr) {
            refuse(answer, 404, "No action with id " + std::to_string(id));
            return true;
        }
        if (patched) {
            if (numberOf(argument.find("championId")).value_or(0) != 0) {
                action->member("championId") = argument.find("championId");
            }
            if (argument.find("completed").asBool()) {
                complete(*session, *action);
            }
        } else {
            complete(*session, *action);
        }
    }
    changed.emplace_back(kSession);
    noContent(answer);
    return true;
}

bool tradeBehaviour(ImplementationState& state, std::string_view method, std::string_view path,
                    SimulatedAnswer& answer, std::vector<std::string>& changed) {
    std::optional<std::int64_t> id;
    std::string_view verb;
    if (method == "GET") {
        id = idIn(path, "v1/session/trades/", "");
    } else if (method == "POST") {
        for (const std::string_view v : {"/request", "/accept", "/decline", "/cancel"}) {
            if (!id) {
                id = idIn(path, "v1/session/trades/", v);
                verb = v;
            }
        }
    }
    if (!id) {
        return false;
    }
    // The trades resource when there is one, else the session's member.
    std::string_view owner = kTrades;
    BindingValue* list = resource(state, kTrades);
    if (list == nullptr && (list = resource(state, kSession)) != nullptr) {
        owner = kSession;
        list = memberOf(*list, "trades");
    }
    BindingValue* trade = nullptr;
    for (BindingValue& t : elementsOf(list)) {
        trade = trade == nullptr && hasId(t, "id", *id) ? &t : trade;
    }
    if (trade == nullptr) {
        refuse(answer, 404, "No trade with id " + std::to_string(*id));
        return true;
    }
    if (method == "GET" || verb == "/request") {
        if (verb == "/request") {
            trade->member("state").setString("SENT");
            changed.emplace_back(owner);
        }
        answer.value = *trade;
        return true;
    }
    trade->member("state").setString(verb == "/accept" ? "BUSY" : "AVAILABLE");
    changed.emplace_back(owner);
    noContent(answer);
    return true;
}

}  // namespace

void runTimer(BindingValue& timer, std::int64_t elapsedMs, std::uint64_t nowEpochMs) {
    if (timer.kind() != BindingValueKind::Structure) {
        return;
    }
    // As the module reads a bool: true, or the text "true" or "1".
    const BindingValue& infinite = timer.find("isInfinite");
    const bool paused =
        infinite.asBool() || infinite.asString() == "true" || infinite.asString() == "1";
    for (const char* key : {"timeLeftInPhase", "adjustedTimeLeftInPhase"}) {
        BindingValue* left = memberOf(timer, key);
        const std::optional<std::int64_t> ms = left != nullptr ? numberOf(*left) : std::nullopt;
        if (ms && !paused) {
            left->setInt64(std::max<std::int64_t>(0, *ms - elapsedMs));
        }
    }
    for (const char* key : {"timeLeftInPhaseInSec", "adjustedTimeLeftInPhaseInSec"}) {
        BindingValue* left = memberOf(timer, key);
        const std::optional<std::int64_t> s = left != nullptr ? numberOf(*left) : std::nullopt;
        if (s && !paused) {
            const std::int64_t ms = std::max<std::int64_t>(0, *s * 1000 - elapsedMs);
            left->setInt64((ms + 999) / 1000);
        }
    }
    timer.member("internalNowInEpochMs").setUInt64(nowEpochMs);
}

bool simulateBehaviour(ImplementationState& state, std::string_view method, std::string_view path,
                       const BindingValue& argument, SimulatedAnswer& answer,
                       std::vector<std::string>& changed) {
    if (sessionBehaviour(state, method, path, argument, answer, changed) ||
        tradeBehaviour(state, method, path, answer, changed)) {
        return true;
    }
    if (method == "POST" && path == "v1/team-boost/purchase") {
        BindingValue* boost = resource(state, kTeamBoost);
        if (boost == nullptr) {
            refuse(answer, 404, "No team boost");
            return true;
        }
        boost->member("unlocked").setBool(true);
        changed.emplace_back(kTeamBoost);
        noContent(answer);
        return true;
    }
    if (method == "POST" && path == "v1/battle-training/launch") {
        noContent(answer);
        return true;
    }
    return false;
}

}  // namespace tav::devhost

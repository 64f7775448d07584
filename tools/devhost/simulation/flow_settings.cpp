#include "simulation/flow_settings.h"

#include <algorithm>
#include <array>

#include "simulation/session_edits.h"

namespace tav::devhost {
namespace {

template <std::size_t N>
std::string unknownKey(const BindingValue& mapping, const std::array<std::string_view, N>& known,
                       std::string_view where, std::vector<ValuePathStep>& at) {
    for (const BindingMember& member : mapping.members()) {
        if (std::find(known.begin(), known.end(), member.key()) != known.end()) {
            continue;
        }
        std::string list;
        for (const std::string_view key : known) {
            list.append(list.empty() ? "" : ", ").append(key);
        }
        at.emplace_back(std::string(member.key()));
        return "unknown key '" + std::string(member.key()) + "' in " + std::string(where) +
               " (expected " + list + ")";
    }
    return {};
}

// A duration or count: a whole number from 0.
std::string readCount(const BindingValue& mapping, std::string_view key, std::int64_t& out,
                      std::vector<ValuePathStep>& at) {
    const BindingValue* value = mapping.tryFind(key);
    if (value == nullptr) {
        return {};
    }
    const std::optional<std::int64_t> n =
        value->kind() == BindingValueKind::String ? std::nullopt : numberOf(*value);
    if (!n || *n < 0 || value->kind() == BindingValueKind::Float) {
        at.emplace_back(std::string(key));
        return "'" + std::string(key) + "' must be a whole number from 0";
    }
    out = *n;
    return {};
}

std::string readChoice(const BindingValue& mapping, std::string_view key, std::string_view yes,
                       std::string_view no, bool& out, std::vector<ValuePathStep>& at) {
    const BindingValue* value = mapping.tryFind(key);
    if (value == nullptr) {
        return {};
    }
    if (value->kind() == BindingValueKind::String &&
        (value->asString() == yes || value->asString() == no)) {
        out = value->asString() == yes;
        return {};
    }
    at.emplace_back(std::string(key));
    return "'" + std::string(key) + "' must be " + std::string(yes) + " or " + std::string(no);
}

std::string readImplementation(const BindingValue& mapping, std::string_view key,
                               std::optional<Implementation>& out, bool nullAllowed,
                               std::vector<ValuePathStep>& at) {
    const BindingValue* value = mapping.tryFind(key);
    if (value == nullptr || (nullAllowed && value->kind() == BindingValueKind::Empty)) {
        return {};
    }
    out = implementationNamed(value->kind() == BindingValueKind::String ? value->asString() : "");
    if (out) {
        return {};
    }
    at.emplace_back(std::string(key));
    return "'" + std::string(key) + "' must be legacy or team-builder" +
           (nullAllowed ? " or null" : "");
}

// "timer.phase" or "myTeam.0.championId".
std::vector<ValuePathStep> memberPath(std::string_view text) {
    std::vector<ValuePathStep> steps;
    while (!text.empty()) {
        const std::size_t dot = text.find('.');
        const std::string_view step = text.substr(0, dot);
        const bool index = !step.empty() && std::all_of(step.begin(), step.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        if (index) {
            steps.emplace_back(static_cast<std::size_t>(std::stoull(std::string(step))));
        } else {
            steps.emplace_back(std::string(step));
        }
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    }
    return steps;
}

std::string readEntry(const BindingValue& value, TimelineEntry& out,
                      std::vector<ValuePathStep>& at) {
    if (value.kind() != BindingValueKind::Structure) {
        return "a timeline entry must be a mapping with atMs and one of set, fail, activate, "
               "dodge";
    }
    static constexpr std::array<std::string_view, 5> kKeys{"atMs", "set", "fail", "activate",
                                                           "dodge"};
    if (std::string what = unknownKey(value, kKeys, "a timeline entry", at); !what.empty()) {
        return what;
    }
    if (value.tryFind("atMs") == nullptr) {
        return "a timeline entry needs 'atMs'";
    }
    if (std::string what = readCount(value, "atMs", out.atMs, at); !what.empty()) {
        return what;
    }
    const int kinds = (value.tryFind("set") != nullptr) + (value.tryFind("fail") != nullptr) +
                      (value.tryFind("activate") != nullptr) + (value.tryFind("dodge") != nullptr);
    if (kinds != 1) {
        return "a timeline entry does exactly one of set, fail, activate, dodge";
    }
    if (const BindingValue* set = value.tryFind("set")) {
        out.kind = TimelineEntry::Kind::Set;
        at.emplace_back("set");
        static constexpr std::array<std::string_view, 4> kSet{"implementation", "path", "member",
                                                              "value"};
        if (set->kind() != BindingValueKind::Structure) {
            return "'set' must be a mapping with path, member and value";
        }
        if (std::string what = unknownKey(*set, kSet, "'set'", at); !what.empty()) {
            return what;
        }
        if (std::string what =
                readImplementation(*set, "implementation", out.implementation, false, at);
            !what.empty()) {
            return what;
        }
        out.path = set->find("path").asString();
        if (out.path.empty() || set->tryFind("value") == nullptr) {
            return "'set' needs a path (a resource, like v1/session) and a value";
        }
        out.member = memberPath(set->find("member").asString());
        out.value = set->find("value");
        return {};
    }
    if (const BindingValue* fail = value.tryFind("fail")) {
        out.kind = TimelineEntry::Kind::Fail;
        at.emplace_back("fail");
        static constexpr std::array<std::string_view, 6> kFail{
            "implementation", "method", "url", "status", "message", "forMs"};
        if (fail->kind() != BindingValueKind::Structure) {
            return "'fail' must be a mapping with url, status and message";
        }
        if (std::string what = unknownKey(*fail, kFail, "'fail'", at); !what.empty()) {
            return what;
        }
        if (std::string what =
                readImplementation(*fail, "implementation", out.implementation, false, at);
            !what.empty()) {
            return what;
        }
        if (const BindingValue* method = fail->tryFind("method")) {
            out.method = method->asString();
        }
        out.path = fail->find("url").asString();
        if (out.path.empty() || out.path.front() == '/') {
            return "'fail' needs a url relative to the implementation, like v1/session";
        }
        std::int64_t status = out.status;
        if (std::string what = readCount(*fail, "status", status, at); !what.empty()) {
            return what;
        }
        if (status < 400 || status > 599) {
            at.emplace_back("status");
            return "'status' must be an error status from 400 to 599";
        }
        out.status = static_cast<std::uint32_t>(status);
        out.message = fail->find("message").asString();
        if (out.message.empty()) {
            out.message = "Scripted error";
        }
        return readCount(*fail, "forMs", out.forMs, at);
    }
    if (value.tryFind("activate") != nullptr) {
        out.kind = TimelineEntry::Kind::Activate;
        return readImplementation(value, "activate", out.activate, true, at);
    }
    out.kind = TimelineEntry::Kind::Dodge;
    if (!value.find("dodge").asBool()) {
        at.emplace_back("dodge");
        return "'dodge' must be true";
    }
    return {};
}

}  // namespace

std::string readFlowSettings(const BindingValue& value, FlowSettings& out,
                             std::vector<ValuePathStep>& at) {
    if (value.kind() != BindingValueKind::Structure) {
        return "'flow' must be a mapping (an empty one plays with the defaults)";
    }
    static constexpr std::array<std::string_view, 11> kKeys{
        "seed",           "planningMs",     "banTurnMs",        "pickTurnMs",
        "finalizationMs", "gameStartingMs", "othersActAfterMs", "onTimeout",
        "tradeOffer",     "tradeAnswer",    "timeline"};
    if (std::string what = unknownKey(value, kKeys, "'flow'", at); !what.empty()) {
        return what;
    }
    std::int64_t seed = static_cast<std::int64_t>(out.seed);
    for (auto [key, target] : std::initializer_list<std::pair<std::string_view, std::int64_t*>>{
             {"seed", &seed},
             {"planningMs", &out.planningMs},
             {"banTurnMs", &out.banTurnMs},
             {"pickTurnMs", &out.pickTurnMs},
             {"finalizationMs", &out.finalizationMs},
             {"gameStartingMs", &out.gameStartingMs},
             {"othersActAfterMs", &out.othersActAfterMs}}) {
        if (std::string what = readCount(value, key, *target, at); !what.empty()) {
            return what;
        }
    }
    out.seed = static_cast<std::uint64_t>(seed);
    if (out.banTurnMs == 0 || out.pickTurnMs == 0) {
        at.emplace_back(out.banTurnMs == 0 ? "banTurnMs" : "pickTurnMs");
        return "a turn needs some time: give it more than 0 ms";
    }
    if (std::string what =
            readChoice(value, "onTimeout", "lock-intent", "nothing", out.lockIntentOnTimeout, at);
        !what.empty()) {
        return what;
    }
    if (const BindingValue* offer = value.tryFind("tradeOffer")) {
        at.emplace_back("tradeOffer");
        static constexpr std::array<std::string_view, 2> kOffer{"fromCellId", "afterMs"};
        if (offer->kind() != BindingValueKind::Structure ||
            offer->tryFind("fromCellId") == nullptr) {
            return "'tradeOffer' must be a mapping with fromCellId (and afterMs)";
        }
        if (std::string what = unknownKey(*offer, kOffer, "'tradeOffer'", at); !what.empty()) {
            return what;
        }
        std::int64_t cell = 0;
        if (std::string what = readCount(*offer, "fromCellId", cell, at); !what.empty()) {
            return what;
        }
        out.tradeOfferFromCellId = cell;
        if (std::string what = readCount(*offer, "afterMs", out.tradeOfferAfterMs, at);
            !what.empty()) {
            return what;
        }
        at.pop_back();
    }
    if (const BindingValue* answer = value.tryFind("tradeAnswer")) {
        at.emplace_back("tradeAnswer");
        static constexpr std::array<std::string_view, 2> kAnswer{"answer", "afterMs"};
        if (answer->kind() != BindingValueKind::Structure) {
            return "'tradeAnswer' must be a mapping with answer (accept or decline) and afterMs";
        }
        if (std::string what = unknownKey(*answer, kAnswer, "'tradeAnswer'", at); !what.empty()) {
            return what;
        }
        if (std::string what =
                readChoice(*answer, "answer", "accept", "decline", out.othersAcceptTrades, at);
            !what.empty()) {
            return what;
        }
        if (std::string what = readCount(*answer, "afterMs", out.tradeAnswerAfterMs, at);
            !what.empty()) {
            return what;
        }
        at.pop_back();
    }
    const BindingValue& timeline = value.find("timeline");
    if (timeline.kind() != BindingValueKind::Empty &&
        timeline.kind() != BindingValueKind::Collection) {
        at.emplace_back("timeline");
        return "'timeline' must be a list of entries";
    }
    std::size_t index = 0;
    for (const BindingValue& element : timeline.elements()) {
        at.emplace_back("timeline");
        at.emplace_back(index);
        TimelineEntry entry;
        entry.index = index;
        if (std::string what = readEntry(element, entry, at); !what.empty()) {
            return what;
        }
        at.resize(at.size() - 2);
        out.timeline.push_back(std::move(entry));
        ++index;
    }
    // Entries at the same time keep the order they are written in.
    std::stable_sort(
        out.timeline.begin(), out.timeline.end(),
        [](const TimelineEntry& a, const TimelineEntry& b) { return a.atMs < b.atMs; });
    return {};
}

}  // namespace tav::devhost

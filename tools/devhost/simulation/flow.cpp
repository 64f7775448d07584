#include "simulation/flow.h"

#include <algorithm>

#include "simulation/session_edits.h"
#include "simulation/simulation.h"

namespace tav::devhost {
namespace {

constexpr std::string_view kSession = "v1/session";
constexpr std::string_view kActionPrefix = "v1/session/actions/";
constexpr std::string_view kTradePrefix = "v1/session/trades/";

std::vector<std::int64_t> championList(const BindingValue* resource) {
    std::vector<std::int64_t> ids;
    if (resource != nullptr) {
        for (const BindingValue& id : resource->find("championIds").elements()) {
            if (const std::optional<std::int64_t> n = numberOf(id); n && *n != 0) {
                ids.push_back(*n);
            }
        }
    }
    return ids;
}

bool contains(const std::vector<std::int64_t>& ids, std::int64_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

BindingValue* tradeOf(BindingValue& session, std::int64_t id) {
    for (BindingValue& trade : elementsOf(memberOf(session, "trades"))) {
        if (hasId(trade, "id", id)) {
            return &trade;
        }
    }
    return nullptr;
}

// The two cells swap their champions, as an accepted trade does.
void swapChampions(BindingValue& session, std::int64_t a, std::int64_t b) {
    BindingValue* first = cellOf(session, a);
    BindingValue* second = cellOf(session, b);
    if (first != nullptr && second != nullptr) {
        BindingValue champion = first->find("championId");
        first->member("championId") = second->find("championId");
        second->member("championId") = std::move(champion);
    }
}

}  // namespace

std::string_view phaseName(Flow::Phase phase) {
    switch (phase) {
        case Flow::Phase::Planning:
            return "PLANNING";
        case Flow::Phase::BanPick:
            return "BAN_PICK";
        case Flow::Phase::Finalization:
            return "FINALIZATION";
        case Flow::Phase::GameStarting:
            return "GAME_STARTING";
        case Flow::Phase::Ended:
            return "ENDED";
    }
    return "";
}

Flow::Flow(Simulation& simulation, ToolClock& clock, FlowSettings settings)
    : simulation_(simulation),
      clock_(clock),
      settings_(std::move(settings)),
      random_(settings_.seed),
      alive_(std::make_shared<Flow*>(this)) {}

Flow::~Flow() = default;

void Flow::whileAlive(std::int64_t atMs, Step step) {
    clock_.at(atMs, [alive = std::weak_ptr<Flow*>(alive_), step = std::move(step)] {
        if (alive.lock()) {
            step();
        }
    });
}

void Flow::inThisStep(std::int64_t atMs, Step step) {
    whileAlive(atMs, [this, step = std::move(step), current = step_] {
        if (step_ == current) {
            step();
        }
    });
}

// splitmix64: the same numbers from a seed on every build, which the
// standard library's distributions do not promise.
std::uint64_t Flow::random() {
    std::uint64_t z = (random_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

BindingValue* Flow::session() {
    const std::optional<Implementation> active = simulation_.active();
    return active ? simulation_.resourceOf(*active, kSession) : nullptr;
}

void Flow::sessionChanged(bool restartTimer) {
    if (const std::optional<Implementation> active = simulation_.active();
        active && session() != nullptr) {
        simulation_.stored(*active, std::string(kSession), false, restartTimer);
    }
}

std::optional<std::int64_t> Flow::localCell() {
    BindingValue* s = session();
    return s != nullptr ? numberOf(s->find("localPlayerCellId")) : std::nullopt;
}

void Flow::start() {
    startedAtMs_ = clock_.nowMs();
    if (BindingValue* s = session()) {
        // The clock's wall time starts where the scenario's timer says, so
        // that a stepped flow reads the same on every run.
        if (const std::optional<std::int64_t> epoch =
                numberOf(s->find("timer").find("internalNowInEpochMs"));
            epoch && *epoch > startedAtMs_) {
            clock_.setEpochAtZero(static_cast<std::uint64_t>(*epoch - startedAtMs_));
        }
    }
    for (const TimelineEntry& entry : settings_.timeline) {
        whileAlive(startedAtMs_ + entry.atMs, [this, &entry] { runEntry(entry); });
    }
    if (settings_.planningMs > 0) {
        startPlanning();
    } else {
        startTurn(0);
    }
}

void Flow::enterPhase(Phase phase, std::int64_t lengthMs) {
    ++step_;
    phase_ = phase;
    phaseEndsAtMs_ = clock_.nowMs() + lengthMs;
    BindingValue* s = session();
    if (s == nullptr) {
        return;
    }
    BindingValue& timer = s->member("timer");
    timer.member("phase").setString(phaseName(phase));
    for (const char* key : {"timeLeftInPhase", "adjustedTimeLeftInPhase", "totalTimeInPhase"}) {
        timer.member(key).setInt64(lengthMs);
    }
    for (const char* key : {"timeLeftInPhaseInSec", "adjustedTimeLeftInPhaseInSec"}) {
        timer.member(key).setInt64((lengthMs + 999) / 1000);
    }
    timer.member("isInfinite").setBool(false);
}

void Flow::startPlanning() {
    enterPhase(Phase::Planning, settings_.planningMs);
    markTurn();
    sessionChanged(true);
    // The local player's allies say what they mean to pick.
    inThisStep(clock_.nowMs() + settings_.othersActAfterMs, [this] {
        BindingValue* s = session();
        const std::optional<std::int64_t> local = localCell();
        if (s == nullptr) {
            return;
        }
        const std::vector<std::int64_t> pickable =
            championList(simulation_.resourceOf(*simulation_.active(), "v1/pickable-champions"));
        bool any = false;
        for (BindingValue& cell : elementsOf(memberOf(*s, "myTeam"))) {
            if (numberOf(cell.find("cellId")) != local &&
                numberOf(cell.find("championPickIntent")).value_or(0) == 0 && !pickable.empty()) {
                cell.member("championPickIntent").setInt64(pickable[random() % pickable.size()]);
                any = true;
            }
        }
        if (any) {
            sessionChanged(false);
        }
    });
    inThisStep(phaseEndsAtMs_, [this] { startTurn(0); });
}

void Flow::markTurn() {
    BindingValue* s = session();
    if (s == nullptr) {
        return;
    }
    std::size_t index = 0;
    for (BindingValue& turn : elementsOf(memberOf(*s, "actions"))) {
        for (BindingValue& action : turn.elements()) {
            action.member("isInProgress")
                .setBool(phase_ == Phase::BanPick && index == turn_ &&
                         !action.find("completed").asBool());
        }
        ++index;
    }
}

void Flow::startTurn(std::size_t turn) {
    BindingValue* s = session();
    const std::span<BindingValue> turns =
        s != nullptr ? elementsOf(memberOf(*s, "actions")) : std::span<BindingValue>();
    // Turns done before the flow began are passed over.
    while (
        turn < turns.size() &&
        std::all_of(turns[turn].elements().begin(), turns[turn].elements().end(),
                    [](const BindingValue& action) { return action.find("completed").asBool(); })) {
        ++turn;
    }
    if (turn >= turns.size()) {
        startFinalization();
        return;
    }
    turn_ = turn;
    const bool bans = !turns[turn].elements().empty() &&
                      turns[turn].elements()[0].find("type").asString() == "ban";
    enterPhase(Phase::BanPick, bans ? settings_.banTurnMs : settings_.pickTurnMs);
    markTurn();
    sessionChanged(true);
    const std::optional<std::int64_t> local = localCell();
    const std::int64_t now = clock_.nowMs();
    for (const BindingValue& action : turns[turn].elements()) {
        if (action.find("completed").asBool() || numberOf(action.find("actorCellId")) == local) {
            continue;
        }
        const std::int64_t id = numberOf(action.find("id")).value_or(0);
        inThisStep(now + settings_.othersActAfterMs / 2, [this, id] { otherActs(id, false); });
        inThisStep(now + settings_.othersActAfterMs, [this, id] { otherActs(id, true); });
    }
    inThisStep(phaseEndsAtMs_, [this] {
        localLapses();
        endTurn();
    });
}

bool Flow::turnDone() {
    BindingValue* s = session();
    const std::span<BindingValue> turns =
        s != nullptr ? elementsOf(memberOf(*s, "actions")) : std::span<BindingValue>();
    if (turn_ >= turns.size()) {
        return true;
    }
    const std::span<BindingValue> actions = turns[turn_].elements();
    return std::all_of(actions.begin(), actions.end(), [](const BindingValue& action) {
        return action.find("completed").asBool();
    });
}

void Flow::endTurn() {
    startTurn(turn_ + 1);
}

std::int64_t Flow::choose(const BindingValue& action) {
    BindingValue* s = session();
    const Implementation active = *simulation_.active();
    const bool ban = action.find("type").asString() == "ban";
    std::vector<std::int64_t> candidates = championList(
        simulation_.resourceOf(active, ban ? "v1/bannable-champions" : "v1/pickable-champions"));
    const std::vector<std::int64_t> taken = takenChampions(*s);
    std::erase_if(candidates, [&](std::int64_t id) { return contains(taken, id); });
    bool onMyTeam = true;
    BindingValue* cell = cellOf(*s, numberOf(action.find("actorCellId")).value_or(-1), &onMyTeam);
    if (ban) {
        // Nobody bans what a teammate means to pick.
        std::vector<std::int64_t> intents;
        for (BindingValue& mate : elementsOf(memberOf(*s, onMyTeam ? "myTeam" : "theirTeam"))) {
            intents.push_back(numberOf(mate.find("championPickIntent")).value_or(0));
        }
        std::vector<std::int64_t> others = candidates;
        std::erase_if(others, [&](std::int64_t id) { return contains(intents, id); });
        if (!others.empty()) {
            candidates = std::move(others);
        }
    }
    if (candidates.empty()) {
        return 0;
    }
    if (!ban) {
        const std::int64_t intent =
            cell != nullptr ? numberOf(cell->find("championPickIntent")).value_or(0) : 0;
        if (contains(candidates, intent)) {
            return intent;
        }
    }
    return candidates[random() % candidates.size()];
}

void Flow::otherActs(std::int64_t actionId, bool lock) {
    BindingValue* s = session();
    BindingValue* action = s != nullptr ? actionOf(*s, actionId) : nullptr;
    if (action == nullptr || action->find("completed").asBool()) {
        return;
    }
    // A hover may have been taken by someone else meanwhile: choose again.
    const std::int64_t hovered = numberOf(action->find("championId")).value_or(0);
    const std::vector<std::int64_t> taken = takenChampions(*s);
    if (hovered == 0 || contains(taken, hovered)) {
        action->member("championId").setInt64(choose(*action));
    }
    if (lock) {
        complete(*s, *action);
        action->member("isInProgress").setBool(false);
    }
    sessionChanged(false);
    if (lock && turnDone()) {
        endTurn();
    }
}

void Flow::localLapses() {
    BindingValue* s = session();
    const std::optional<std::int64_t> local = localCell();
    const std::span<BindingValue> turns =
        s != nullptr ? elementsOf(memberOf(*s, "actions")) : std::span<BindingValue>();
    if (turn_ >= turns.size() || !settings_.lockIntentOnTimeout) {
        return;
    }
    bool changed = false;
    const std::vector<std::int64_t> taken = takenChampions(*s);
    for (BindingValue& action : turns[turn_].elements()) {
        const bool pick = action.find("type").asString() == "pick";
        if (action.find("completed").asBool() || numberOf(action.find("actorCellId")) != local) {
            continue;
        }
        // What it hovers; for a pick, else its intent, else what another
        // player would take in its place.
        std::int64_t champion = numberOf(action.find("championId")).value_or(0);
        if (contains(taken, champion)) {
            champion = 0;
        }
        if (champion == 0 && pick) {
            champion = choose(action);
        }
        if (champion != 0) {
            action.member("championId").setInt64(champion);
            complete(*s, action);
            changed = true;
        }
    }
    if (changed) {
        sessionChanged(false);
    }
}

void Flow::startFinalization() {
    enterPhase(Phase::Finalization, settings_.finalizationMs);
    markTurn();
    sessionChanged(true);
    if (settings_.tradeOfferFromCellId) {
        inThisStep(clock_.nowMs() + settings_.tradeOfferAfterMs, [this] { offerTrade(); });
    }
    inThisStep(phaseEndsAtMs_, [this] { startGame(); });
}

void Flow::offerTrade() {
    BindingValue* s = session();
    if (s == nullptr) {
        return;
    }
    const std::int64_t from = *settings_.tradeOfferFromCellId;
    BindingValue* trade = nullptr;
    std::int64_t nextId = 1;
    for (BindingValue& t : elementsOf(memberOf(*s, "trades"))) {
        nextId = std::max(nextId, numberOf(t.find("id")).value_or(0) + 1);
        trade = trade == nullptr && hasId(t, "cellId", from) ? &t : trade;
    }
    if (trade == nullptr) {
        trade = &s->member("trades").append();
        trade->member("id").setInt64(nextId);
        trade->member("cellId").setInt64(from);
    }
    trade->member("state").setString("RECEIVED");
    sessionChanged(false);
}

void Flow::startGame() {
    enterPhase(Phase::GameStarting, settings_.gameStartingMs);
    sessionChanged(true);
    inThisStep(phaseEndsAtMs_, [this] { endSession(); });
}

void Flow::endSession() {
    ++step_;
    phase_ = Phase::Ended;
    phaseEndsAtMs_ = clock_.nowMs();
    for (const Implementation implementation : kImplementations) {
        simulation_.deleteResource(implementation, std::string(kSession));
    }
}

void Flow::dodge() {
    if (phase_ != Phase::Ended) {
        endSession();
    }
}

void Flow::runEntry(const TimelineEntry& entry) {
    const std::optional<Implementation> target =
        entry.implementation ? entry.implementation : simulation_.active();
    switch (entry.kind) {
        case TimelineEntry::Kind::Set: {
            if (!target) {
                return;
            }
            BindingValue* resource = simulation_.resourceOf(*target, entry.path);
            const bool created = resource == nullptr;
            BindingValue fresh;
            BindingValue* at = created ? &fresh : resource;
            for (const ValuePathStep& step : entry.member) {
                if (const auto* key = std::get_if<std::string>(&step)) {
                    at = &at->member(*key);
                } else {
                    const std::size_t index = std::get<std::size_t>(step);
                    const std::span<BindingValue> elements = at->elements();
                    if (index >= elements.size()) {
                        return;  // nothing there to set
                    }
                    at = &elements[index];
                }
            }
            *at = entry.value;
            if (created) {
                simulation_.putResource(*target, entry.path, std::move(fresh));
            } else {
                const bool timer = entry.member.empty() ||
                                   entry.member.front() == ValuePathStep(std::string("timer"));
                simulation_.stored(*target, entry.path, false, timer);
            }
            return;
        }
        case TimelineEntry::Kind::Fail: {
            if (!target) {
                return;
            }
            ScriptedAnswer answer;
            answer.method = entry.method;
            answer.url = entry.path;
            answer.status = entry.status;
            answer.message = entry.message;
            simulation_.script(*target, answer);
            if (entry.forMs > 0) {
                whileAlive(clock_.nowMs() + entry.forMs,
                           [this, target, answer] { simulation_.withdraw(*target, answer); });
            }
            return;
        }
        case TimelineEntry::Kind::Activate:
            simulation_.setActive(entry.activate);
            return;
        case TimelineEntry::Kind::Dodge:
            dodge();
            return;
    }
}

bool Flow::answer(std::string_view method, std::string_view path, const BindingValue& argument,
                  SimulatedAnswer& answer, std::vector<std::string>& changed) {
    const std::optional<std::int64_t> patched =
        method == "PATCH" ? idIn(path, kActionPrefix, "") : std::nullopt;
    const std::optional<std::int64_t> completed =
        method == "POST" ? idIn(path, kActionPrefix, "/complete") : std::nullopt;
    std::optional<std::int64_t> tradeId;
    std::string_view verb;
    if (method == "GET") {
        tradeId = idIn(path, kTradePrefix, "");
    }
    for (const std::string_view v : {"/request", "/accept", "/decline", "/cancel"}) {
        if (method == "POST" && !tradeId) {
            tradeId = idIn(path, kTradePrefix, v);
            verb = v;
        }
    }
    if (!patched && !completed && !tradeId) {
        return false;
    }
    BindingValue* s = session();
    if (s == nullptr) {
        refuse(answer, 404, "No champ select session");
        return true;
    }
    const std::optional<std::int64_t> local = localCell();
    if (tradeId) {
        BindingValue* trade = tradeOf(*s, *tradeId);
        if (trade == nullptr) {
            refuse(answer, 404, "No trade with id " + std::to_string(*tradeId));
            return true;
        }
        const std::string_view state = trade->find("state").asString();
        if (verb.empty()) {
            answer.value = *trade;
            return true;
        }
        const std::string_view needed = verb == "/request"  ? "AVAILABLE"
                                        : verb == "/cancel" ? "SENT"
                                                            : "RECEIVED";
        if (phase_ != Phase::Finalization) {
            refuse(answer, 409, "Trades are open in finalization only");
            return true;
        }
        if (state != needed) {
            refuse(answer, 409,
                   "Trade " + std::to_string(*tradeId) + " is " + std::string(state) + ", not " +
                       std::string(needed));
            return true;
        }
        const std::int64_t other = numberOf(trade->find("cellId")).value_or(-1);
        if (verb == "/request") {
            trade->member("state").setString("SENT");
            const std::int64_t id = *tradeId;
            inThisStep(clock_.nowMs() + settings_.tradeAnswerAfterMs,
                       [this, id] { answerTrade(id); });
            answer.value = *trade;
        } else {
            if (verb == "/accept" && local) {
                swapChampions(*s, *local, other);
            }
            trade->member("state").setString("AVAILABLE");
            answer.status = 204;
        }
        changed.emplace_back(kSession);
        return true;
    }
    const std::int64_t id = patched ? *patched : *completed;
    BindingValue* action = actionOf(*s, id);
    if (action == nullptr) {
        refuse(answer, 404, "No action with id " + std::to_string(id));
        return true;
    }
    if (numberOf(action->find("actorCellId")) != local) {
        refuse(answer, 403, "Action " + std::to_string(id) + " is not the local player's");
        return true;
    }
    if (phase_ != Phase::BanPick || turnOf(*s, id) != turn_) {
        refuse(answer, 409, "Action " + std::to_string(id) + " is not in the current turn");
        return true;
    }
    if (action->find("completed").asBool()) {
        refuse(answer, 409, "Action " + std::to_string(id) + " is already completed");
        return true;
    }
    const std::int64_t champion = patched && numberOf(argument.find("championId")).value_or(0) != 0
                                      ? numberOf(argument.find("championId")).value_or(0)
                                      : numberOf(action->find("championId")).value_or(0);
    const bool completing = completed || argument.find("completed").asBool();
    if (contains(takenChampions(*s), champion)) {
        refuse(answer, 409, "Champion " + std::to_string(champion) + " is already taken");
        return true;
    }
    if (completing && champion == 0) {
        refuse(answer, 409, "Action " + std::to_string(id) + " has no champion to lock in");
        return true;
    }
    action->member("championId").setInt64(champion);
    if (completing) {
        complete(*s, *action);
        action->member("isInProgress").setBool(false);
    }
    changed.emplace_back(kSession);
    answer.status = 204;
    return true;
}

void Flow::answerTrade(std::int64_t tradeId) {
    BindingValue* s = session();
    BindingValue* trade = s != nullptr ? tradeOf(*s, tradeId) : nullptr;
    const std::optional<std::int64_t> local = localCell();
    if (trade == nullptr || trade->find("state").asString() != "SENT") {
        return;  // cancelled meanwhile
    }
    if (settings_.othersAcceptTrades && local) {
        swapChampions(*s, *local, numberOf(trade->find("cellId")).value_or(-1));
    }
    trade->member("state").setString("AVAILABLE");
    sessionChanged(false);
}

void Flow::afterRequest() {
    if (phase_ == Phase::BanPick && turnDone()) {
        endTurn();
    }
}

BindingValue Flow::state() const {
    BindingValue out;
    out.member("phase").setString(phaseName(phase_));
    out.member("phaseEndsAtMs").setInt64(phaseEndsAtMs_);
    BindingValue& turn = out.member("turn");
    BindingValue& actors = out.member("actors");
    actors.makeCollection();
    const std::optional<Implementation> active = simulation_.active();
    const BindingValue* s =
        active ? const_cast<Simulation&>(simulation_).resourceOf(*active, kSession) : nullptr;
    if (s != nullptr) {
        const std::span<const BindingValue> turns = s->find("actions").elements();
        out.member("turns").setUInt64(turns.size());
        if (phase_ == Phase::BanPick && turn_ < turns.size()) {
            turn.setUInt64(turn_);
            for (const BindingValue& action : turns[turn_].elements()) {
                if (!action.find("completed").asBool()) {
                    actors.append() = action.find("actorCellId");
                }
            }
        }
    }
    BindingValue& next = out.member("next");
    next.makeCollection();
    const std::int64_t now = clock_.nowMs();
    for (const TimelineEntry& entry : settings_.timeline) {
        if (startedAtMs_ + entry.atMs <= now || next.elements().size() >= 5) {
            continue;
        }
        BindingValue& item = next.append();
        item.member("atMs").setInt64(startedAtMs_ + entry.atMs);
        static constexpr const char* kKinds[] = {"set", "fail", "activate", "dodge"};
        item.member("does").setString(kKinds[static_cast<int>(entry.kind)]);
        if (!entry.path.empty()) {
            item.member("path").setString(entry.path);
        }
    }
    return out;
}

}  // namespace tav::devhost

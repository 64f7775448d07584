// A champ select that plays itself on the active implementation's session:
// planning, the ban and pick turns (the other players hover and lock on
// their own, the local player's turn lapses as the scenario says), then
// finalization with a trade offered, the game starting, and the session's
// end; a timeline adds what the flow does not do by itself. Every step is a
// change of the simulated state, so the module sees it as the resource
// event an implementation sends. All times are the tool clock's.
//
// With a flow, the implementations also keep champ select's rules for the
// local player's actions and trades, answering 403 or 409 with a message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "simulation/flow_settings.h"
#include "simulation/implementation.h"
#include "simulation/simulated_behaviour.h"
#include "simulation/tool_clock.h"

namespace tav::devhost {

class Simulation;

class Flow {
public:
    enum class Phase { Planning, BanPick, Finalization, GameStarting, Ended };

    Flow(Simulation& simulation, ToolClock& clock, FlowSettings settings);
    ~Flow();
    Flow(const Flow&) = delete;
    Flow& operator=(const Flow&) = delete;

    // Plays from the clock's now.
    void start();
    // Ends the session at once, as a player leaving champ select does.
    void dodge();

    // Answers the local player's action and trade routes (relative path,
    // without query) by the rules; false for any other route.
    bool answer(std::string_view method, std::string_view path, const BindingValue& argument,
                SimulatedAnswer& answer, std::vector<std::string>& changed);
    // After the changes of a request went out: a turn its actions completed
    // ends.
    void afterRequest();

    Phase phase() const { return phase_; }
    // {"phase", "turn", "turns", "actors", "phaseEndsAtMs", "next"}: for the
    // page and GET /_dev/flow.
    BindingValue state() const;

private:
    using Step = std::function<void()>;
    // Runs step at atMs unless the flow moved on (another turn or phase) by
    // then.
    void inThisStep(std::int64_t atMs, Step step);
    void whileAlive(std::int64_t atMs, Step step);

    BindingValue* session();
    void sessionChanged(bool restartTimer);
    void enterPhase(Phase phase, std::int64_t lengthMs);
    void startPlanning();
    void startTurn(std::size_t turn);
    void endTurn();
    void startFinalization();
    void startGame();
    void endSession();
    bool turnDone();
    void markTurn();
    void otherActs(std::int64_t actionId, bool lock);
    void localLapses();
    std::int64_t choose(const BindingValue& action);
    std::uint64_t random();
    void runEntry(const TimelineEntry& entry);
    void offerTrade();
    void answerTrade(std::int64_t tradeId);
    std::optional<std::int64_t> localCell();

    Simulation& simulation_;
    ToolClock& clock_;
    FlowSettings settings_;
    Phase phase_ = Phase::Planning;
    std::size_t turn_ = 0;
    std::int64_t startedAtMs_ = 0;
    std::int64_t phaseEndsAtMs_ = 0;
    std::uint64_t step_ = 0;  // grows with every turn and phase
    std::uint64_t random_;
    // Tasks still queued on the clock hold a weak pointer to this: once the
    // flow is gone (another scenario), they do nothing.
    std::shared_ptr<Flow*> alive_;
};

std::string_view phaseName(Flow::Phase phase);

}  // namespace tav::devhost

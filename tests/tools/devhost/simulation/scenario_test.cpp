// The scenario reader over the real module's types: every mistake a user
// makes in a file is refused with its line and what is wrong, and a key the
// module would ignore is warned of with its line. (The tool's
// exit and prefix for a bad file, and a bad reload over HTTP, are
// devhost_scenario_test.cpp's.)
#include "simulation/scenario.h"

#include <gtest/gtest.h>

#include "hosting/module_types.h"
#include "support/module_host.h"

namespace tav::devhost {
namespace {

struct BadScenario {
    const char* name;
    const char* text;
    std::string message;  // after "FILE:"
};

const std::string kRequested =
    "v1/bannable-champions, v1/battle-training/launch, v1/disabled-champions, "
    "v1/pickable-champions, v1/pickable-skins, v1/session, v1/session/actions/{id}, "
    "v1/session/actions/{id}/complete, v1/session/my-selection, v1/session/my-selection/reroll, "
    "v1/session/timer, v1/session/trades, v1/session/trades/{id}, v1/session/trades/{id}/accept, "
    "v1/session/trades/{id}/cancel, v1/session/trades/{id}/decline, "
    "v1/session/trades/{id}/request, v1/team-boost, v1/team-boost/purchase";
const std::string kKnownResources =
    "(known: v1/session, v1/session/timer, v1/session/trades, v1/pickable-champions, "
    "v1/bannable-champions, v1/disabled-champions, v1/pickable-skins, v1/team-boost)";

const BadScenario kBadScenarios[] = {
    // The reader's parser messages count lines from 0, the prefix from 1.
    {"syntax", "active: legacy\nimplementations:\n  legacy: [\n",
     "4: YAML parser error: did not find expected node content. At line: 3 col: 0"},
    {"repeated key",
     "implementations:\n  legacy:\n    resources:\n      v1/pickable-champions:\n"
     "        championIds: [1]\n        championIds: [2]\n",
     "6: the key 'championIds' is given twice (first on line 5)"},
    {"repeated key in flow style", "# one line\n{active: legacy, active: null}\n",
     "2: the key 'active' is given twice (first on line 2)"},
    {"active", "# demo\nactive: modern\n", "2: 'active' must be legacy, team-builder or null"},
    {"top-level key", "active: legacy\nimplementation: {}\n",
     "2: unknown key 'implementation' (expected 'active', 'implementations', 'flow' or 'shared')"},
    {"implementation", "implementations:\n  legacy: {}\n  modern:\n    resources: {}\n",
     "3: unknown implementation 'modern' (expected legacy or team-builder)"},
    {"resource",
     "implementations:\n  legacy:\n    resources:\n      v1/session: {}\n"
     "      v1/sesion: {}\n",
     "5: unknown resource 'v1/sesion' " + kKnownResources},
    {"resource kind",
     "implementations:\n  team-builder:\n    resources:\n      v1/session/trades:\n"
     "        id: 1\n",
     "4: resource 'v1/session/trades' must be a list"},
    {"answer",
     "implementations:\n  legacy:\n    answers:\n      - method: GET\n        url: v1/session\n"
     "        value: {}\n      - method: FETCH\n        url: v1/session\n",
     "7: an answer's method must be GET, POST, PUT, PATCH or DELETE"},
    {"answer status",
     "implementations:\n  legacy:\n    answers:\n    - method: GET\n      url: v1/x\n"
     "      status: 200\n",
     "4: an answer's status must be an error status from 400 to 599"},
    {"times, on its own line",
     "implementations:\n  legacy:\n    answers:\n      - method: GET\n        url: v1/session\n"
     "        times: 0\n",
     "6: an answer's times must be a number of requests, 1 or more"},
    {"value and status",
     "implementations:\n  legacy:\n    answers:\n"
     "      - {method: GET, url: v1/session, value: 1, status: 409}\n",
     "4: an answer has either a value or a status with a message, not both"},
    {"quoted status",
     "implementations:\n  legacy:\n    answers:\n      - {method: GET, url: v1/session,\n"
     "         status: \"409\"}\n",
     "4: an answer's status must be a number, an error status from 400 to 599, not the text "
     "\"409\""},
    {"answer the module never asks for",
     "implementations:\n  legacy:\n    answers:\n      - method: GET\n"
     "        url: tav-champ-select/v1/session\n        status: 409\n",
     "5: the module never requests 'tav-champ-select/v1/session'; it requests, relative to the "
     "implementation: " +
         kRequested},
    // Values are checked against the module's record types.
    {"member type",
     "implementations:\n  legacy:\n    resources:\n      v1/session:\n        timer:\n"
     "          timeLeftInPhase: \"soon\"\n",
     "6: resource 'v1/session': 'timer.timeLeftInPhase' must be int64, not the text \"soon\""},
    {"list element",
     "implementations:\n  legacy:\n    resources:\n      v1/session:\n        myTeam:\n"
     "          - {cellId: 0}\n          - {cellId: 3000000000, team: 5000000000}\n",
     "7: resource 'v1/session': 'myTeam[1].team' must be int32, not 5000000000"},
    {"list",
     "implementations:\n  legacy:\n    resources:\n      v1/team-boost:\n"
     "        availableSkins: 5\n",
     "5: resource 'v1/team-boost': 'availableSkins' must be a list of int64, not 5"},
    // Reported where the shared value is written.
    {"enumerator through an alias",
     "shared:\n  trades: &trades\n    - {id: 1, cellId: 0, state: AVAILABLE}\n"
     "    - {id: 2, cellId: 1,\n       state: BUSSY}\nimplementations:\n  legacy:\n"
     "    resources:\n      v1/session/trades: *trades\n",
     "5: resource 'v1/session/trades': '[1].state' must be one of AVAILABLE, BUSY, INVALID, "
     "RECEIVED, SENT (TavChampSelectChampSelectTradeState), not the text \"BUSSY\""},
    // The flow section, and what a flow reads of the session.
    {"flow key", "flow:\n  seed: 1\n  banTurnMS: 100\n",
     "3: unknown key 'banTurnMS' in 'flow' (expected seed, planningMs, banTurnMs, pickTurnMs, "
     "finalizationMs, gameStartingMs, othersActAfterMs, onTimeout, tradeOffer, tradeAnswer, "
     "timeline)"},
    {"flow time", "flow:\n  pickTurnMs: -5\n", "2: 'pickTurnMs' must be a whole number from 0"},
    {"flow turn of 0 ms", "flow:\n  pickTurnMs: 0\n",
     "2: a turn needs some time: give it more than 0 ms"},
    {"flow choice", "flow:\n  onTimeout: lock\n", "2: 'onTimeout' must be lock-intent or nothing"},
    {"trade answer", "flow:\n  tradeAnswer: {answer: maybe}\n",
     "2: 'answer' must be accept or decline"},
    {"timeline entry of no kind", "flow:\n  timeline:\n    - {atMs: 5}\n",
     "3: a timeline entry does exactly one of set, fail, activate, dodge"},
    {"timeline implementation",
     "flow:\n  timeline:\n    - {atMs: 1, dodge: true}\n    - {atMs: 2, activate: legacy-2}\n",
     "4: 'activate' must be legacy or team-builder or null"},
    {"timeline resource",
     "flow:\n  timeline:\n    - {atMs: 9, set: {path: v1/sessions, value: 1}}\n",
     "3: unknown resource 'v1/sessions' " + kKnownResources},
    {"timeline url", "flow:\n  timeline:\n    - atMs: 1\n      fail:\n        url: v1/nothing\n",
     "5: the module never requests 'v1/nothing'; it requests, relative to the implementation: " +
         kRequested},
    {"timeline status",
     "flow:\n  timeline:\n    - {atMs: 1, fail: {url: v1/session, status: 200}}\n",
     "3: 'status' must be an error status from 400 to 599"},
    {"flow phase",
     "flow: {}\nimplementations:\n  legacy:\n    resources:\n      v1/session:\n"
     "        timer: {phase: BANS}\n",
     "6: a flow plays the phases PLANNING, BAN_PICK, FINALIZATION and GAME_STARTING, not "
     "\"BANS\""},
    {"flow action type",
     "flow: {}\nimplementations:\n  legacy:\n    resources:\n      v1/session:\n"
     "        actions:\n          - [{id: 1, type: ban}]\n          - [{id: 2, type: vote}]\n",
     "8: a flow plays actions of type ban or pick, not \"vote\""},
};

TEST(DevhostScenarioReader, RefusesABadScenarioWithItsLine) {
    testing::ModuleHost module(TAV_PLUGIN_MODULE_PATH);
    ASSERT_TRUE(module.loaded()) << module.loadError();
    const auto* table = static_cast<const TavEndpointTable*>(module.load().endpointTable);
    ASSERT_NE(table, nullptr);
    const ModuleTypes types(*table);
    for (const BadScenario& bad : kBadScenarios) {
        SCOPED_TRACE(bad.name);
        Scenario scenario;
        std::string error;
        EXPECT_FALSE(parseScenario(bad.text, "bad.yaml", types, scenario, error));
        EXPECT_EQ(error, "bad.yaml:" + bad.message);
    }

    // A key the module would ignore is a warning with its line, not a refusal;
    // a number at the top of its range is taken.
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(parseScenario(
        "implementations:\n  legacy:\n    resources:\n      v1/session:\n"
        "        localPlayerCelId: 3\n        trades: [{id: 1, state: SENT, sate: 1}]\n"
        "    answers: [{method: GET, url: v1/session, value: {}, delayMs: 600000}]\n",
        "s.yaml", types, scenario, error))
        << error;
    EXPECT_EQ(scenario.warnings,
              (std::vector<std::string>{
                  "s.yaml:5: resource 'v1/session': unknown key 'localPlayerCelId' in a "
                  "TavChampSelectChampSelectSession: the module ignores it (did you mean "
                  "'localPlayerCellId'?)",
                  "s.yaml:6: resource 'v1/session': unknown key 'sate' in a "
                  "TavChampSelectChampSelectTradeContract: the module ignores it (did you mean "
                  "'state'?)"}));
}

}  // namespace
}  // namespace tav::devhost

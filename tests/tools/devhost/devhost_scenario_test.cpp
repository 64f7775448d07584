// The command line as a user meets it: a bad scenario is refused with its
// file, line and what is wrong, at start and at reload; the files it finds
// without being told; --help and wrong usage. (The timer runs on a clock its
// own test sets: simulation/simulation_timer_test.cpp.)
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

struct BadScenario {
    const char* name;
    const char* text;
    const char* message;  // after "FILE:"
};

const BadScenario kBadScenarios[] = {
    // The reader's parser messages count lines from 0, the prefix from 1.
    {"syntax", "active: legacy\nimplementations:\n  legacy: [\n",
     "4: YAML parser error: did not find expected node content. At line: 3 col: 0"},
    {"tab", "active: legacy\nimplementations:\n\tlegacy: {}\n",
     "3: YAML parser error: found character that cannot start any token. At line: 2 col: 0"},
    {"repeated key",
     "implementations:\n  legacy:\n    resources:\n      v1/pickable-champions:\n"
     "        championIds: [1]\n        championIds: [2]\n",
     "6: the key 'championIds' is given twice (first on line 5)"},
    {"repeated key in flow style", "# one line\n{active: legacy, active: null}\n",
     "2: the key 'active' is given twice (first on line 2)"},
    {"active", "# demo\nactive: modern\n", "2: 'active' must be legacy, team-builder or null"},
    {"top-level key", "active: legacy\nimplementation: {}\n",
     "2: unknown key 'implementation' (expected 'active', 'implementations' or 'shared')"},
    {"implementation", "implementations:\n  legacy: {}\n  modern:\n    resources: {}\n",
     "3: unknown implementation 'modern' (expected legacy or team-builder)"},
    {"resource",
     "implementations:\n  legacy:\n    resources:\n      v1/session: {}\n"
     "      v1/sesion: {}\n",
     "5: unknown resource 'v1/sesion' (known: v1/session, v1/session/timer, v1/session/trades, "
     "v1/pickable-champions, v1/bannable-champions, v1/disabled-champions, v1/pickable-skins, "
     "v1/team-boost)"},
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
    {"quoted status",
     "implementations:\n  legacy:\n    answers:\n      - {method: GET, url: v1/session,\n"
     "         status: \"409\"}\n",
     "4: an answer's status must be a number, an error status from 400 to 599, not the text "
     "\"409\""},
    {"answer the module never asks for",
     "implementations:\n  legacy:\n    answers:\n      - method: GET\n"
     "        url: tav-champ-select/v1/session\n        status: 409\n",
     "5: the module never requests 'tav-champ-select/v1/session'; it requests, relative to the "
     "implementation: v1/bannable-champions, v1/battle-training/launch, v1/disabled-champions, "
     "v1/pickable-champions, v1/pickable-skins, v1/session, v1/session/actions/{id}, "
     "v1/session/actions/{id}/complete, v1/session/my-selection, v1/session/my-selection/reroll, "
     "v1/session/timer, v1/session/trades, v1/session/trades/{id}, v1/session/trades/{id}/accept, "
     "v1/session/trades/{id}/cancel, v1/session/trades/{id}/decline, "
     "v1/session/trades/{id}/request, v1/team-boost, v1/team-boost/purchase"},
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
};

TEST(DevhostScenario, RefusesABadScenarioWithItsLine) {
    const std::string file = ::testing::TempDir() + "devhost_bad_scenario.yaml";
    for (const BadScenario& bad : kBadScenarios) {
        SCOPED_TRACE(bad.name);
        std::ofstream(file) << bad.text;
        const ToolRun run = runDevhost({"--port", "0", "--scenario", file});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, "tav-devhost: " + file + ":" + bad.message + "\n");
    }
    std::remove(file.c_str());
}

// A reload that fails keeps the state the tool had.
TEST(DevhostScenario, RefusesABadReloadWithItsLine) {
    const std::string file = ::testing::TempDir() + "devhost_reloaded_scenario.yaml";
    std::ofstream(file) << std::ifstream(TAV_DEVHOST_DEMO).rdbuf();
    DevhostProcess process({"--scenario", file});
    ASSERT_TRUE(process.serving()) << process.stderrText();
    std::ofstream(file) << "active: legacy\nimplementations:\n  legacy:\n    resources:\n"
                           "      v1/team-boost: {price: lots}\n";
    auto client = process.client();
    const auto reload = client->Post("/_dev/reload", {{"X-Tav-Dev-Token", process.token()}}, "",
                                     "application/json");
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->status, 400);
    EXPECT_NE(reload->body.find(file + ":5: resource 'v1/team-boost': 'price' must be int64, " +
                                "not the text \\\"lots\\\""),
              std::string::npos)
        << reload->body;
    EXPECT_EQ(client->Get("/tav-champ-select/v1/team-boost")->status, 200);
    std::remove(file.c_str());
}

TEST(DevhostScenario, ReportsWhatItCannotLoad) {
    const ToolRun noScenario = runDevhost({"--scenario", "/nonexistent/scenario.yaml"});
    EXPECT_EQ(noScenario.exitCode, 1);
    EXPECT_EQ(noScenario.err,
              "tav-devhost: /nonexistent/scenario.yaml: cannot read the scenario file\n");
    const ToolRun noModule = runDevhost({"--module", "/nonexistent/module.so"});
    EXPECT_EQ(noModule.exitCode, 1);
    EXPECT_TRUE(noModule.err.starts_with("tav-devhost: /nonexistent/module.so: ")) << noModule.err;
}

// The tool copied into a folder of its own, as the release lays it out and
// far from any build tree: without --module and --scenario it takes the
// files beside it, and while one is missing it names each path it tried.
TEST(DevhostScenario, FindsItsFilesBesideItself) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("tav-devhost-beside-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "scenarios");
    const std::string tool = (folder / "tav-devhost").string();
    fs::copy_file(TAV_DEVHOST_TOOL, tool);
    fs::permissions(tool, fs::perms::owner_all, fs::perm_options::add);
    const fs::path moduleName = fs::path(TAV_DEVHOST_MODULE).filename();
    const std::string scenario = (folder / "scenarios" / "demo.yaml").string();

    // Beside it, then in the build tree (here a path that is not there).
    const auto expectTried = [&](const char* what, const fs::path& beside, const char* option) {
        const ToolRun run = runDevhost({}, true, tool);
        EXPECT_EQ(run.exitCode, 2);
        const std::string head =
            "tav-devhost: no " + std::string(what) + " named and none at " + beside.string() + ", ";
        const std::string tail =
            beside.filename().string() + "; name one with " + option + " (see --help)\n";
        EXPECT_TRUE(run.err.starts_with(head) && run.err.ends_with(tail) &&
                    run.err.find(", ", head.size()) == std::string::npos)
            << run.err;
    };
    expectTried("module", folder / moduleName, "--module");
    fs::copy_file(TAV_DEVHOST_MODULE, folder / moduleName);
    expectTried("scenario", scenario, "--scenario");
    fs::copy_file(TAV_DEVHOST_DEMO, scenario);
    {
        DevhostProcess process(tool, {});
        ASSERT_TRUE(process.serving()) << process.stderrText();
        EXPECT_NE(process.stderrText().find("endpoints; scenario " + scenario + "\n"),
                  std::string::npos)
            << process.stderrText();
        expectCleanExit(process);
    }
    fs::remove_all(folder);
}

TEST(DevhostScenario, HelpAndWrongUsage) {
    const ToolRun help = runDevhost({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.starts_with("usage: tav-devhost [--port N]")) << help.out;
    struct Wrong {
        std::vector<std::string> args;
        const char* err;
    };
    const Wrong wrong[] = {
        {{"--port", "70000"}, "tav-devhost: --port needs a number from 0 to 65535 (see --help)\n"},
        {{"--port"}, "tav-devhost: --port needs a value (see --help)\n"},
        {{"--verbose"}, "tav-devhost: unknown option --verbose (see --help)\n"},
        {{"--token", "0123456789abcde/"},
         "tav-devhost: --token needs at least 16 characters, each a letter, a digit, '-', '.', "
         "'_' or '~' (see --help)\n"},
    };
    for (const Wrong& w : wrong) {
        SCOPED_TRACE(w.err);
        const ToolRun run = runDevhost(w.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, w.err);
    }
}

}  // namespace
}  // namespace tav::testing

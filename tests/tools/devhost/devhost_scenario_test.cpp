// The command line as a user meets it: a bad scenario is refused with its
// file, line and what is wrong; --help and wrong usage.
#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

struct BadScenario {
    const char* name;
    const char* text;
    const char* message;  // after "FILE:"
};

const BadScenario kBadScenarios[] = {
    {"syntax", "active: legacy\nimplementations:\n  legacy: [\n",
     "3: YAML parser error: did not find expected node content. At line: 3 col: 0"},
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
                           "      v1/team-boost: [1]\n";
    auto client = process.client();
    const auto reload = client->Post("/_dev/reload", {{"X-Tav-Dev-Token", process.token()}}, "",
                                     "application/json");
    ASSERT_TRUE(reload);
    EXPECT_EQ(reload->status, 400);
    EXPECT_NE(reload->body.find(file + ":5: resource 'v1/team-boost' must be a mapping"),
              std::string::npos)
        << reload->body;
    EXPECT_EQ(client->Get("/tav-champ-select/v1/team-boost")->status, 200);
    std::remove(file.c_str());
}

TEST(DevhostScenario, StopsCleanlyOnSigterm) {
    DevhostProcess process;
    ASSERT_TRUE(process.serving()) << process.stderrText();
    EXPECT_EQ(process.stop(), 0);
    EXPECT_TRUE(process.stderrText().ends_with("\ntav-devhost: stopped\n")) << process.stderrText();
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

// The command line as a user meets it: a file it cannot load ends it with
// the file and why, a bad reload is refused over HTTP with its line; the files
// it finds without being told; --help and wrong usage. (Each mistake in a
// scenario: simulation/scenario_test.cpp, in process.)
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

// A reload that fails keeps the state the tool had.
TEST(DevhostScenario, RefusesABadReloadWithItsLine) {
    const std::string file =
        ::testing::TempDir() + "devhost_reloaded_scenario_" + std::to_string(getpid()) + ".yaml";
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
        DevhostProcess process({}, true, tool);
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

// Replay as only the tool's process shows it: a module that crashes or hangs
// is a finding, not a crash of the tool. (The comparison and the refused
// traces: traffic/replay_test.cpp, in process; the golden traces are
// replayed unchanged as tests of their own.)
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

// The test module is a Linux library: this build's own tool loads it.
TEST(DevhostReplay, AModuleThatCrashesOrHangsIsAFinding) {
    for (const std::string how : {"crash", "hang"}) {
        SCOPED_TRACE(how);
        const std::string path =
            ::testing::TempDir() + "faulty_" + std::to_string(getpid()) + ".jsonl";
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            << R"({"module":{"file":"test","sha256":"","size":0,"version":"18.0.1"},"trace":1})"
            << "\n"
            << R"({"answer":{"status":204},"kind":"api","path":"/test/v1/)" + how +
                   R"(","request":{"method":"GET","target":"/test/v1/)" + how +
                   R"("},"seq":1,"thread":1,"time":0})"
            << "\n";
        const ToolRun run = runDevhost(
            {"--replay", path, "--module", TAV_RELOAD_MODULE_A, "--call-limit", "1"}, true);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_EQ(run.out, how == "crash"
                               ? "replay: the module crashed during entry 1 (line 2)\n"
                               : "replay: the module did not return within 1 s during entry 1 "
                                 "(line 2); stopped\n")
            << run.err;
    }
}

}  // namespace
}  // namespace tav::testing

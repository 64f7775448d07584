// Replay's comparison in process, against the real module: the golden trace
// with one planted change fails with a difference that names it, and a trace
// that cannot be used is refused with its file and line. (A module that
// crashes or hangs, which ends the process: devhost_replay_test.cpp.)
#include "traffic/replay.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace tav::devhost {
namespace {

// One change to the golden trace: in the first line holding in, the first
// from becomes to; without to, the file ends just after from.
struct Edit {
    const char* name;
    const char* in;
    const char* from;
    const char* to;
    std::vector<std::string> reported;  // the first after "(line N): ", or "FILE:LINE..."
};

struct Verdict {
    int exitCode = -1;
    std::string out;
    std::size_t line = 0;  // the edited one
};

Verdict replayEdited(const Edit& edit) {
    std::ifstream golden(std::string(TAV_DEVHOST_TRACES) + "/demo.jsonl", std::ios::binary);
    std::string text = (std::ostringstream() << golden.rdbuf()).str();
    Verdict verdict;
    const std::size_t in = text.find(edit.in);
    const std::size_t from = text.find(edit.from, text.rfind('\n', in) + 1);
    if (in == std::string::npos || from == std::string::npos || from > text.find('\n', in)) {
        ADD_FAILURE() << "the golden trace has no line with " << edit.in << " and " << edit.from;
        return verdict;
    }
    verdict.line = static_cast<std::size_t>(std::count(text.begin(), text.begin() + in, '\n')) + 1;
    if (edit.to != nullptr) {
        text.replace(from, std::string_view(edit.from).size(), edit.to);
    } else {
        text.resize(from + std::string_view(edit.from).size());
    }
    const std::string path = ::testing::TempDir() + "edited_" + std::to_string(getpid()) + ".jsonl";
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    ::testing::internal::CaptureStdout();
    verdict.exitCode = replayTrace({.trace = path, .module = TAV_PLUGIN_MODULE_PATH});
    verdict.out = ::testing::internal::GetCapturedStdout();
    return verdict;
}

void expectReported(const Verdict& verdict, const std::vector<std::string>& reported) {
    for (const std::string& part : reported) {
        EXPECT_NE(verdict.out.find(part), std::string::npos) << part << "\n" << verdict.out;
    }
}

TEST(DevhostReplayer, APlantedChangeFailsWithADiffThatNamesIt) {
    const Edit edits[] = {
        {"answer member",
         R"("kind":"api","path":"/tav-champ-select/v1/team-boost")",
         R"("price":95)",
         R"("price":1)",
         {"GET /tav-champ-select/v1/team-boost: the answer differs",
          "    answer.body.price: recorded 1, now 95"}},
        {"forwarded URL",
         R"("url":"/tav-champ-select-legacy/v1/session/actions/3"})",
         R"(actions/3")",
         R"(actions/4")",
         {"the module did not send PATCH /tav-champ-select-legacy/v1/session/actions/4",
          "the module sent PATCH /tav-champ-select-legacy/v1/session/actions/3, which the trace "
          "does not have",
          "now 502"}},  // the tool's own answer to a request the trace lacks
        {"published event name",
         R"("kind":"event-out","name":"OnJsonApiEvent_tav-champ-select_v1_team-boost")",
         R"(v1_team-boost")",
         R"(v1_boost")",
         {"published event OnJsonApiEvent_tav-champ-select_v1_boost (/tav-champ-select/v1/"
          "team-boost Create) differs",
          "    event.name: recorded \"OnJsonApiEvent_tav-champ-select_v1_boost\", now "
          "\"OnJsonApiEvent_tav-champ-select_v1_team-boost\""}},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        const Verdict verdict = replayEdited(edit);
        EXPECT_EQ(verdict.exitCode, 1) << verdict.out;
        EXPECT_TRUE(verdict.out.starts_with("replay: ")) << verdict.out;
        expectReported(verdict,
                       {"(line " + std::to_string(verdict.line) + "): " + edit.reported[0]});
        expectReported(verdict, edit.reported);
    }
}

TEST(DevhostReplayer, RefusesATraceItCannotUseWithItsLine) {
    const Edit edits[] = {
        {"cut mid-line",
         R"("kind":"log")",
         R"("level":)",
         nullptr,
         {": the line is cut short (no line end): an unfinished recording"}},
        {"another module version",
         R"("trace":1)",
         R"("version":"18.0.0")",
         R"("version":"17.2.0")",
         {": recorded with version 17.2.0 of the module; this one is 18.0.0"}},
        {"unknown kind",
         R"("kind":"log")",
         R"("kind":"log")",
         R"("kind":"telepathy")",
         {": unknown entry kind \"telepathy\""}},
        // The members each kind needs, at the top and inside its request.
        {"a log line without its message",
         R"("kind":"log")",
         R"("message":)",
         R"("massage":)",
         {": a log entry needs \"message\""}},
        {"an api request without its target",
         R"("kind":"api")",
         R"("target":)",
         R"("targets":)",
         {": an api request needs \"method\" and \"target\""}},
        {"not a trace",
         R"("trace":1)",
         R"("trace":1)",
         R"("track":1)",
         {": not a trace (its first line has no \"trace\" format)"}},
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        const Verdict verdict = replayEdited(edit);
        EXPECT_EQ(verdict.exitCode, 2) << verdict.out;
        expectReported(verdict, {".jsonl:" + std::to_string(verdict.line) + edit.reported[0]});
    }
}

}  // namespace
}  // namespace tav::devhost

// Replay as a user meets it: a golden trace with one planted change fails
// with a difference that names the change, and traces that cannot be used are
// refused with their file and line. (The golden traces themselves are
// replayed unchanged as tests of their own.)
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "devhost_process.h"
#include "formats/json.h"

namespace tav::testing {
namespace {

using Lines = std::vector<std::string>;

Lines goldenLines() {
    std::ifstream file(std::string(TAV_DEVHOST_TRACES) + "/demo.jsonl");
    Lines lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Changes the first line whose entry satisfies which; its line number.
std::size_t changeFirst(Lines& lines, const std::function<bool(const BindingValue&)>& which,
                        const std::function<void(BindingValue&)>& change) {
    for (std::size_t i = 1; i < lines.size(); ++i) {
        BindingResult entry = readJson(lines[i]);
        if (entry && which(entry.value)) {
            change(entry.value);
            lines[i] = writeJson(entry.value);
            return i + 1;
        }
    }
    ADD_FAILURE() << "the golden trace has no such entry";
    return 0;
}

ToolRun replay(const Lines& lines, const std::string& name, const char* tail = "\n") {
    const std::string path = ::testing::TempDir() + name + ".jsonl";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        file << lines[i] << (i + 1 < lines.size() ? "\n" : tail);
    }
    file.close();
    return runDevhost({"--replay", path});
}

bool isKind(const BindingValue& entry, std::string_view kind) {
    return entry.find("kind").asString() == kind;
}

struct PlantedChange {
    const char* name;
    std::function<bool(const BindingValue&)> which;
    std::function<void(BindingValue&)> change;
    std::vector<std::string> reported;  // each after "line N): " or on the next lines
};

TEST(DevhostReplay, APlantedChangeFailsWithADiffThatNamesIt) {
    const PlantedChange changes[] = {
        {"answer member",
         [](const BindingValue& e) {
             return isKind(e, "api") &&
                    e.find("path").asString() == "/tav-champ-select/v1/team-boost" &&
                    e.find("answer").tryFind("body") != nullptr;
         },
         [](BindingValue& e) { e.member("answer").member("body").member("price").setUInt32(1); },
         {"GET /tav-champ-select/v1/team-boost: the answer differs",
          "    answer.body.price: recorded 1, now 95"}},
        {"forwarded URL",
         [](const BindingValue& e) {
             return isKind(e, "host-request") &&
                    e.find("request").find("url").asString().ends_with("/session/actions/3");
         },
         [](BindingValue& e) {
             BindingValue& url = e.member("request").member("url");
             url.setString(std::string(url.asString()).replace(url.asString().size() - 1, 1, "4"));
         },
         {"the module did not send PATCH /tav-champ-select-legacy/v1/session/actions/4",
          "the module sent PATCH /tav-champ-select-legacy/v1/session/actions/3, which the trace "
          "does not have"}},
        {"published event name",
         [](const BindingValue& e) {
             return isKind(e, "event-out") &&
                    e.find("name").asString() == "OnJsonApiEvent_tav-champ-select_v1_team-boost";
         },
         [](BindingValue& e) {
             e.member("name").setString("OnJsonApiEvent_tav-champ-select_v1_boost");
         },
         {"published event OnJsonApiEvent_tav-champ-select_v1_boost "
          "(/tav-champ-select/v1/team-boost "
          "Create) differs",
          "    event.name: recorded \"OnJsonApiEvent_tav-champ-select_v1_boost\", now "
          "\"OnJsonApiEvent_tav-champ-select_v1_team-boost\""}},
    };
    for (const PlantedChange& planted : changes) {
        SCOPED_TRACE(planted.name);
        Lines lines = goldenLines();
        const std::size_t line = changeFirst(lines, planted.which, planted.change);
        const ToolRun run = replay(lines, "planted");
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_TRUE(run.out.starts_with("replay: ")) << run.out;
        EXPECT_NE(run.out.find("(line " + std::to_string(line) + "): " + planted.reported[0]),
                  std::string::npos)
            << run.out;
        for (const std::string& part : planted.reported) {
            EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
        }
    }
}

TEST(DevhostReplay, RefusesATraceItCannotUseWithItsLine) {
    struct Refused {
        const char* name;
        std::function<void(Lines&)> damage;
        const char* tail;
        std::string message;  // after "FILE:"
    };
    const Refused refused[] = {
        {"cut mid-line",
         [](Lines& lines) { lines.resize(10), lines[9].resize(lines[9].size() / 2); }, "",
         "10: the line is cut short (no line end): an unfinished recording"},
        {"another module version",
         [](Lines& lines) {
             BindingResult header = readJson(lines[0]);
             header.value.member("module").member("version").setString("17.2.0");
             lines[0] = writeJson(header.value);
         },
         "\n", "1: recorded with version 17.2.0 of the module; this one is 18.0.0"},
        {"unknown kind",
         [](Lines& lines) {
             changeFirst(
                 lines, [](const BindingValue& e) { return isKind(e, "log"); },
                 [](BindingValue& e) { e.member("kind").setString("telepathy"); });
         },
         "\n", ": unknown entry kind \"telepathy\""},
        // The members each kind needs, at the top and inside its request.
        {"a log line without its message",
         [](Lines& lines) {
             changeFirst(
                 lines, [](const BindingValue& e) { return isKind(e, "log"); },
                 [](BindingValue& e) {
                     BindingValue kept;
                     for (const char* member : {"seq", "time", "thread", "kind", "level"}) {
                         kept.member(member) = e.find(member);
                     }
                     e = std::move(kept);
                 });
         },
         "\n", ": a log entry needs \"message\""},
        {"an api request without its target",
         [](Lines& lines) {
             changeFirst(
                 lines, [](const BindingValue& e) { return isKind(e, "api"); },
                 [](BindingValue& e) {
                     e.member("request").reset();
                     e.member("request").member("method").setString("GET");
                 });
         },
         "\n", ": an api request needs \"method\" and \"target\""},
        {"not a trace", [](Lines& lines) { lines = {"{\"seq\":1}"}; }, "\n",
         "1: not a trace (its first line has no \"trace\" format)"},
    };
    for (const Refused& row : refused) {
        SCOPED_TRACE(row.name);
        Lines lines = goldenLines();
        row.damage(lines);
        const ToolRun run = replay(lines, "refused", row.tail);
        EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
        EXPECT_NE(run.out.find("refused.jsonl:"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(row.message), std::string::npos) << row.message << "\n" << run.out;
    }
}

// The faulty module is a Linux library: this build's own tool loads it.
TEST(DevhostReplay, AModuleThatCrashesOrHangsIsAFinding) {
    for (const std::string how : {"crash", "hang"}) {
        SCOPED_TRACE(how);
        const Lines lines = {
            R"({"module":{"file":"faulty","sha256":"","size":0,"version":"18.0.0"},"trace":1})",
            R"({"answer":{"status":204},"kind":"api","path":"/faulty/v1/)" + how +
                R"(","request":{"method":"GET","target":"/faulty/v1/)" + how +
                R"("},"seq":1,"thread":1,"time":0})"};
        const std::string path = ::testing::TempDir() + "faulty.jsonl";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << lines[0] << "\n"
                                                                << lines[1] << "\n";
        const ToolRun run = runDevhost(
            {"--replay", path, "--module", TAV_DEVHOST_FAULTY_MODULE, "--call-limit", "1"}, true);
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

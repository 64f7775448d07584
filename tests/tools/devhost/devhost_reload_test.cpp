// --watch: a new build of the module file takes over in place, with the
// session, the scripted state and the open streams kept; a build that fails
// leaves the old module serving; requests during reloads are answered by one
// of the two modules, never by one in Init; reloads leak nothing. The tool
// runs natively here: the files are this build's Linux modules.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

namespace fs = std::filesystem;

// A folder with the watched module file in it, written as a build would; of
// this process alone, as builds of two trees may run their tests at once.
class WatchedModule {
public:
    WatchedModule(const std::string& name, const std::string& first)
        : folder_(fs::path(::testing::TempDir()) / (name + "-" + std::to_string(getpid()))) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        file_ = (folder_ / fs::path(first).filename()).string();
        fs::copy_file(first, file_);
        std::ofstream(scenario()) << "active: legacy\n";
    }
    ~WatchedModule() { fs::remove_all(folder_); }

    const std::string& file() const { return file_; }
    std::string scenario() const { return (folder_ / "scenario.yaml").string(); }
    // In place, as a linker that rewrites its output does.
    void write(const std::string& from) const {
        fs::copy_file(from, file_, fs::copy_options::overwrite_existing);
    }
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

private:
    fs::path folder_;
    std::string file_;
};

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

constexpr const char* kReloaded = "tav-devhost: module reloaded: ";
constexpr const char* kFailed = "tav-devhost: module reload failed, the old module keeps serving: ";

// Waits until stderr holds count lines saying a reload succeeded or failed.
bool waitForReloads(DevhostProcess& process, std::size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + scaled(std::chrono::seconds(30));
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string err = process.stderrText();
        if (occurrences(err, kReloaded) + occurrences(err, kFailed) >= count) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string lastLine(const std::string& text) {
    const std::size_t end = text.find_last_not_of('\n');
    const std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// What the process holds, from /proc.
struct Holdings {
    long threads = -1;
    long descriptors = 0;
    long residentKiB = -1;
};

Holdings holdings(int pid) {
    Holdings held;
    const std::string proc = "/proc/" + std::to_string(pid);
    held.threads = procStatus(pid, "Threads:");
    // Not sockets: the test's own connections come and go.
    for (const auto& entry : fs::directory_iterator(proc + "/fd")) {
        std::error_code error;
        held.descriptors +=
            fs::read_symlink(entry.path(), error).string().starts_with("socket:") ? 0 : 1;
    }
    held.residentKiB = procStatus(pid, "VmRSS:");
    return held;
}

// Then, a leak check, not a speed goal: the first reload warmed up (the
// allocator's arenas, the new module's first answers); ten more must leave
// threads and descriptors as they were and the resident size within a bound
// (docs/benchmarks.md: measured growth and the bound).
TEST(DevhostReload, ANewBuildTakesOverAndTheSessionStays) {
    const WatchedModule watched("devhost_reload_real", TAV_DEVHOST_MODULE);
    DevhostProcess process({"--module", watched.file(), "--watch"}, true);
    ASSERT_TRUE(process.serving()) << process.stderrText();
    EventReader events(process);
    const auto client = process.client();
    const httplib::Headers token{{"X-Tav-Dev-Token", process.token()}};
    const auto pickable = [&](const std::string& ids) {
        const auto put = client->Put("/_dev/resources/legacy/v1/pickable-champions", token,
                                     R"({"championIds": )" + ids + "}", "application/json");
        return put ? put->status : -1;
    };
    ASSERT_EQ(pickable("[5, 6]"), 204);

    watched.write(TAV_DEVHOST_MODULE);
    ASSERT_TRUE(waitForReloads(process, 1)) << process.stderrText();
    const std::string line = lastLine(process.stderrText());
    EXPECT_TRUE(line.starts_with(std::string(kReloaded) + "version 18.0.0, sha256 ")) << line;
    const std::string sha256 = line.substr(line.rfind(' ') + 1);
    EXPECT_EQ(sha256.size(), 64u) << line;
    // The stream stayed open and said so; the state stayed.
    EXPECT_TRUE(events.waitFor({"event: module\ndata: {\"action\":\"reloaded\",\"sha256\":\"" +
                                sha256 + "\",\"version\":\"18.0.0\"}"}))
        << events.text();
    EXPECT_EQ(client->Get("/tav-champ-select/v1/pickable-champions")->body,
              R"({"championIds":[5,6]})");
    // The new module subscribed in Init, and the old one's Shutdown did not
    // take that away.
    ASSERT_EQ(pickable("[7]"), 204);
    EXPECT_TRUE(events.waitFor({"event: module", "event: plugin", R"("championIds":[7])"}))
        << events.text();
    const auto traffic = client->Get("/_dev/traffic", token);
    ASSERT_TRUE(traffic);
    EXPECT_NE(traffic->body.find(R"({"action":"reloaded","kind":"module",)"), std::string::npos)
        << traffic->body;
    EXPECT_EQ(client->Get("/openapi.json")->status, 200);
    EXPECT_EQ(watched.filesInFolder(), 2u) << "a copy was left beside the module";

    const Holdings before = holdings(process.pid());
    for (std::size_t i = 2; i <= 11; ++i) {
        watched.write(TAV_DEVHOST_MODULE);
        ASSERT_TRUE(waitForReloads(process, i)) << process.stderrText();
    }
    const Holdings after = holdings(process.pid());
    EXPECT_EQ(occurrences(process.stderrText(), kReloaded), 11u);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.descriptors, before.descriptors);
    std::printf("reloads 2 to 11: resident %ld KiB -> %ld KiB\n", before.residentKiB,
                after.residentKiB);
#ifndef TAV_SANITIZED
    // Under the i386 emulator the resident size is the emulator's, whose cache
    // of translated code grows with each new copy of the module.
    if (std::string(TAV_DEVHOST_EMULATOR).empty()) {
        EXPECT_LE(after.residentKiB - before.residentKiB, 4 * 1024);
    }
#endif
    expectCleanExit(process);
}

// Then clients keep asking while the two builds take turns: every request
// gets the answer of a module that was serving (201 or 202), none a 503 of
// one in Init or shut down, none is lost.
TEST(DevhostReload, AFailedReloadKeepsTheOldModuleServing) {
    const WatchedModule watched("devhost_reload_failing", TAV_RELOAD_MODULE_A);
    DevhostProcess process(
        {"--module", watched.file(), "--scenario", watched.scenario(), "--watch"}, true);
    ASSERT_TRUE(process.serving()) << process.stderrText();
    EventReader events(process);
    const auto client = process.client();
    const std::string garbage = (fs::path(::testing::TempDir()) / "devhost_not_a_module").string();
    std::ofstream(garbage) << "not a module";
    const struct {
        std::string file;
        std::string why;
    } failures[] = {
        {garbage, ""},  // the system's own words
        {TAV_RELOAD_MODULE_REFUSING_ENTRY, "the module filled no callbacks or no endpoint table"},
        {TAV_RELOAD_MODULE_REFUSING_INIT, "Init failed"},
    };
    std::size_t reloads = 0;
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.file);
        watched.write(failure.file);
        ASSERT_TRUE(waitForReloads(process, ++reloads)) << process.stderrText();
        const std::string line = lastLine(process.stderrText());
        EXPECT_TRUE(line.starts_with(kFailed + watched.file() + ": " + failure.why)) << line;
        EXPECT_EQ(client->Get("/test/v1/which")->status, 201);
    }
    EXPECT_TRUE(events.waitFor({R"("action":"reload-failed","error":")",
                                R"("error":")" + watched.file() + ": the module filled no",
                                R"("error":")" + watched.file() + ": Init failed"}))
        << events.text();
    fs::remove(garbage);

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::string> wrong[2];
    std::vector<std::thread> clients;
    for (std::vector<std::string>& mistakes : wrong) {
        clients.emplace_back([&] {
            const auto busy = process.client();
            while (!stop) {
                const auto answer = busy->Get("/test/v1/which");
                if (!answer) {
                    mistakes.push_back(httplib::to_string(answer.error()));
                } else if (answer->status != 201 && answer->status != 202) {
                    mistakes.push_back(std::to_string(answer->status));
                } else {
                    ++answered;
                }
            }
        });
    }
    for (std::size_t i = 1; i <= 6; ++i) {
        watched.write(i % 2 == 1 ? TAV_RELOAD_MODULE_B : TAV_RELOAD_MODULE_A);
        ASSERT_TRUE(waitForReloads(process, ++reloads)) << process.stderrText();
        EXPECT_TRUE(lastLine(process.stderrText())
                        .starts_with(std::string(kReloaded) + "version 18.0." +
                                     (i % 2 == 1 ? "2" : "1") + ", sha256 "));
    }
    stop = true;
    for (std::thread& c : clients) {
        c.join();
    }
    EXPECT_EQ(occurrences(process.stderrText(), kReloaded), 6u);
    EXPECT_TRUE(wrong[0].empty() && wrong[1].empty())
        << ::testing::PrintToString(wrong[0]) << ::testing::PrintToString(wrong[1]);
    EXPECT_GT(answered, 0);
    EXPECT_EQ(client->Get("/test/v1/which")->status, 201);
    expectCleanExit(process);
}

}  // namespace
}  // namespace tav::testing

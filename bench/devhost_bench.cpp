// The development host over real HTTP on loopback: GET of the session
// (about 3.5 KB of JSON through the module) on a kept-alive connection, on
// a new connection each time, and from 8 kept-alive clients at once. The
// time per iteration is the latency; items per second are requests per
// second. A kept-alive answer that waited for the client's delayed
// acknowledgement would show as 40 ms.
//
// What the traffic log adds to such a request when nobody watches: the
// session's answer kept as an api entry (the request the module forwards
// for it costs about as much again).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "formats/json.h"
#include "traffic/traffic_fields.h"
#include "traffic/traffic_log.h"

extern char** environ;

namespace {

constexpr const char* kSession = "/tav-champ-select/v1/session";

// The tool on a free port, started once for every benchmark of the run.
class Tool {
public:
    Tool() {
        int err[2];
        if (pipe2(err, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::string tool = TAV_DEVHOST_TOOL;
        std::string port = "--port";
        std::string zero = "0";
        char* argv[] = {tool.data(), port.data(), zero.data(), nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) {
            throw std::runtime_error("cannot start " + tool);
        }
        posix_spawn_file_actions_destroy(&actions);
        close(err[1]);
        stderr_ = fdopen(err[0], "r");
        char line[512];
        while (port_ == 0 && std::fgets(line, sizeof line, stderr_) != nullptr) {
            if (const char* at = std::strstr(line, "serving http://127.0.0.1:")) {
                port_ = std::atoi(at + 25);
            }
        }
        if (port_ == 0) {
            throw std::runtime_error("the tool did not start");
        }
    }
    ~Tool() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::fclose(stderr_);
    }

    std::unique_ptr<httplib::Client> client(bool keepAlive) const {
        auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client->set_keep_alive(keepAlive);
        return client;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    FILE* stderr_ = nullptr;
};

const Tool& tool() {
    static const Tool running;
    return running;
}

void get(benchmark::State& state, httplib::Client& client) {
    const auto result = client.Get(kSession);
    if (!result || result->status != 200) {
        state.SkipWithError("the session did not answer");
    }
}

// One client kept alive; with 8 threads, 8 at once (the module takes one call
// at a time).
void BM_DevhostKeptAlive(benchmark::State& state) {
    const auto client = tool().client(true);
    for (auto _ : state) {
        get(state, *client);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DevhostKeptAlive)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DevhostKeptAlive)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_DevhostNewConnection(benchmark::State& state) {
    const auto client = tool().client(false);
    for (auto _ : state) {
        get(state, *client);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DevhostNewConnection)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

void BM_TrafficEntryOfTheSession(benchmark::State& state) {
    const auto client = tool().client(true);
    const auto result = client->Get(kSession);
    tav::BindingResult session = tav::readJson(result ? result->body : std::string());
    if (!result || !session) {
        state.SkipWithError("the session did not answer");
        return;
    }
    tav::devhost::ApiRequest request;
    request.method = "GET";
    request.target = kSession;
    request.headers = {{"Host", "127.0.0.1"}, {"Accept", "application/json"}};
    tav::devhost::ApiAnswer answer;
    answer.status = 200;
    answer.value = std::move(session.value);
    tav::devhost::TrafficLog traffic;
    for (auto _ : state) {
        traffic.add(tav::devhost::TrafficKind::Api,
                    tav::devhost::apiEntry(kSession, request, answer));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TrafficEntryOfTheSession)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

// tav-devhost: runs the module under a development host (see --help).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

#include "dev_host.h"
#include "dev_server.h"
#include "hosting/module_copy.h"
#include "hosting/module_watch.h"
#include "options.h"
#include "platform/stop_signal.h"
#include "ready_file.h"
#include "server/event_stream.h"
#include "server/security.h"
#include "simulation/scenario.h"
#include "traffic/replay.h"
#include "traffic/trace_file.h"
#include "traffic/traffic_log.h"

using namespace tav::devhost;

namespace {

void line(const std::string& text) {
    std::fprintf(stderr, "tav-devhost: %s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Options> options = parseOptions(argc, argv, error);
    if (!options) {
        line(error + " (see --help)");
        return 2;
    }
    if (options->help) {
        std::fputs(usageText(), stdout);
        return 0;
    }

    if (!options->replay.empty()) {
        return replayTrace({options->replay, options->module, options->compareLogs,
                            options->maxDifferences, options->callLimitSeconds});
    }

    // Ctrl-C and its kin go to one thread that waits for them; before any
    // other thread starts, which on POSIX inherits the blocked signals.
    tav::platform::catchStopRequests();
    const std::string token = options->token.empty() ? makeToken() : options->token;
    if (token.empty()) {
        line("the system's random source failed; no token for the control routes");
        return 1;
    }

    EventStream events;
    EventStream trafficEvents;
    TrafficLog traffic(&trafficEvents);
    DevHost host(events, traffic);
    DevServer server(host, events, traffic, trafficEvents, token, options->allowedOrigins,
                     tav::platform::requestStop);
    server.setHangLimit(std::chrono::seconds(options->hangLimitSeconds));
    // A harness waiting for the file must not take the last run's.
    if (!options->readyFile.empty()) {
        removeReadyFile(options->readyFile);
    }
    // The port first: a second tool on a port in use stops before loading.
    const std::uint16_t port = server.listen(options->port, error);
    if (port == 0) {
        line(error);
        return 1;
    }
    // A recording starts before Init, whose requests and subscriptions it
    // needs.
    const auto startRecording = [&](const TavLoadRecord& record, std::string& why) {
        return options->record.empty() ||
               traffic.record(options->record,
                              traceHeader(options->module, record, options->scenario), why);
    };
    // The file as it is now is the one loaded; the watch begins once serving.
    std::optional<ModuleWatch> watch;
    if (options->watch) {
        host.loadFromCopies();
        removeStaleCopies(options->module);
        watch.emplace(options->module, [&host] {
            std::string summary;
            host.reloadModule(summary);
            line(summary);
        });
    }
    if (options->paused) {
        host.setClockPaused(true);
    }
    if (!host.start(options->module, options->scenario, error, startRecording)) {
        line(error);
        return 1;
    }
    for (const std::string& warning : host.scenarioWarnings()) {
        line("warning: " + warning);
    }
    const TavEndpointTable& table = host.endpoints();
    line("module " +
         std::string(host.loadRecord().shortName != nullptr ? host.loadRecord().shortName : "?") +
         " initialised with " + std::to_string(table.endpointCount) + " endpoints; scenario " +
         options->scenario);

    std::thread waiter([&] {
        tav::platform::waitForStopRequest();
        events.close();
        trafficEvents.close();
        server.stop();  // also when it comes before run
    });
    const std::string url =
        "http://127.0.0.1:" + std::to_string(port) + "/?token=" + server.token();
    line("serving " + url);
    int status = 0;
    if (!options->readyFile.empty() && !writeReadyFile(options->readyFile, url + "\n", error)) {
        // A harness would wait for it in vain.
        line(error);
        status = 1;
        tav::platform::requestStop();
    }
    if (watch) {
        watch->start();
    }
    server.run();
    waiter.join();
    if (watch) {
        watch->stop();
    }
    host.stop();
    if (!options->readyFile.empty() && status == 0) {
        removeReadyFile(options->readyFile);
    }
    line("stopped");
    return status;
}

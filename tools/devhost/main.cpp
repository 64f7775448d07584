// tav-devhost: runs the module under a development host (see --help).
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <pthread.h>

#include "dev_host.h"
#include "dev_server.h"
#include "event_stream.h"
#include "options.h"
#include "scenario.h"
#include "security.h"

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

    // SIGINT and SIGTERM go to one thread that waits for them; every other
    // thread, the server's included, inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    EventStream events;
    DevHost host(events);
    if (!host.start(options->module, options->scenario, error)) {
        line(error);
        return 1;
    }
    const TavEndpointTable& table = host.endpoints();
    line("module " +
         std::string(host.loadRecord().shortName != nullptr ? host.loadRecord().shortName : "?") +
         " initialised with " + std::to_string(table.endpointCount) + " endpoints; scenario " +
         options->scenario);

    const auto requestStop = [] { kill(getpid(), SIGTERM); };
    DevServer server(host, events, makeToken(), requestStop);
    const int port = server.bind(options->port);
    if (port < 0) {
        line("cannot listen on 127.0.0.1:" + std::to_string(options->port));
        return 1;
    }
    std::atomic<bool> finished{false};
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        events.close();
        // A stop that comes before the server runs would be lost: repeat it.
        while (!finished) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    line("serving http://127.0.0.1:" + std::to_string(port) + "/?token=" + server.token());
    const bool served = server.run();
    finished = true;
    if (!served) {
        requestStop();  // ends the waiter
    }
    waiter.join();
    host.stop();
    line(served ? "stopped" : "the server failed");
    return served ? 0 : 1;
}

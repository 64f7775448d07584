// tav-devhost: runs the module under a development host (see --help).
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <thread>

#include <pthread.h>
#include <unistd.h>

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
    const auto requestStop = [] { kill(getpid(), SIGTERM); };
    DevServer server(host, events, makeToken(), options->allowedOrigins, requestStop);
    // The port first: a second tool on a port in use stops before loading.
    const std::uint16_t port = server.listen(options->port, error);
    if (port == 0) {
        line(error);
        return 1;
    }
    if (!host.start(options->module, options->scenario, error)) {
        line(error);
        return 1;
    }
    const TavEndpointTable& table = host.endpoints();
    line("module " +
         std::string(host.loadRecord().shortName != nullptr ? host.loadRecord().shortName : "?") +
         " initialised with " + std::to_string(table.endpointCount) + " endpoints; scenario " +
         options->scenario);

    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        events.close();
        server.stop();  // also when it comes before run
    });
    line("serving http://127.0.0.1:" + std::to_string(port) + "/?token=" + server.token());
    server.run();
    waiter.join();
    host.stop();
    line("stopped");
    return 0;
}

// tav-devhost: runs the module under a development host (see --help).
#include <cstdint>
#include <cstdio>
#include <thread>

#include "dev_host.h"
#include "dev_server.h"
#include "event_stream.h"
#include "options.h"
#include "platform/stop_signal.h"
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

    // Ctrl-C and its kin go to one thread that waits for them; before any
    // other thread starts, which on POSIX inherits the blocked signals.
    tav::platform::catchStopRequests();
    const std::string token = makeToken();
    if (token.empty()) {
        line("the system's random source failed; no token for the control routes");
        return 1;
    }

    EventStream events;
    DevHost host(events);
    DevServer server(host, events, token, options->allowedOrigins, tav::platform::requestStop);
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
        tav::platform::waitForStopRequest();
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

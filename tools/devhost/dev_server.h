// The HTTP side of the tool on 127.0.0.1: the page, the module's API routed
// through the host, GET /events, GET /openapi.json, GET /asyncapi.json and
// the control routes.
// Every request passes the same checks first, in order: its Host, what its
// target means, its origin, and for /_dev/ the token.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "dev_host.h"
#include "server/event_stream.h"
#include "server/http_server.h"
#include "server/origin_policy.h"
#include "server/request_target.h"
#include "traffic/traffic_log.h"

namespace tav::devhost {

class DevServer {
public:
    // allowedOrigins: as normaliseOrigin returns them. onShutdown: what POST
    // /_dev/shutdown asks for (it must not block).
    // traffic and trafficEvents: what /_dev/traffic and its stream serve.
    DevServer(DevHost& host, EventStream& events, TrafficLog& traffic, EventStream& trafficEvents,
              std::string token, std::vector<std::string> allowedOrigins,
              std::function<void()> onShutdown);

    // Listens on 127.0.0.1:port (0: a free port); the port, or 0 with the
    // reason in error. Before the module starts, so that a port in use
    // fails at once.
    std::uint16_t listen(std::uint16_t port, std::string& error);
    // Serves the started module until stop.
    void run();
    void stop() { server_.stop(); }

    const std::string& token() const { return token_; }
    // How long a request scripted to hang waits for its 504; before run.
    void setHangLimit(std::chrono::seconds limit) { hangLimit_ = limit; }

    // What a request is answered with; public for the server's handler.
    HttpResponse handle(const HttpRequest& request);

private:
    HttpResponse route(const HttpRequest& request, const RequestTarget& target,
                       std::string_view method);
    HttpResponse events(const HttpRequest& request, const RequestTarget& target);
    HttpResponse traffic(const RequestTarget& target);
    HttpResponse trafficStream(const HttpRequest& request);
    HttpResponse api(const HttpRequest& request, const RequestTarget& target,
                     std::string_view method);
    bool tokenGiven(const HttpRequest& request, const RequestTarget& target) const;
    std::string openApi();
    std::string asyncApi();

    DevHost& host_;
    EventStream& events_;
    TrafficLog& traffic_;
    EventStream& trafficEvents_;
    std::string token_;
    OriginPolicy origins_;
    std::function<void()> onShutdown_;
    std::uint16_t port_ = 0;
    std::chrono::seconds hangLimit_{30};
    std::mutex documentMutex_;
    std::uint64_t openApiGeneration_ = 0;  // of the module openApi_ describes
    std::string openApi_;
    std::string asyncApi_;  // of the same module
    HttpServer server_;
};

}  // namespace tav::devhost

// The HTTP side of the tool on 127.0.0.1: the page, the module's API routed
// through the host, GET /events, GET /openapi.json and the control routes,
// behind the security checks every request passes first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <httplib.h>

#include "dev_host.h"
#include "event_stream.h"

namespace tav::devhost {

class DevServer {
public:
    // onShutdown: what POST /_dev/shutdown asks for (it must not block).
    DevServer(DevHost& host, EventStream& events, std::string token,
              std::function<void()> onShutdown);

    // Binds 127.0.0.1:port (0: a free port); the bound port, or -1.
    int bind(std::uint16_t port);
    // Serves until stop; false when the server could not run.
    bool run();
    void stop();

    const std::string& token() const { return token_; }

private:
    void setUpChecks();
    void setUpPage();
    void setUpEvents();
    void setUpApi();

    DevHost& host_;
    EventStream& events_;
    std::string token_;
    std::function<void()> onShutdown_;
    std::uint16_t port_ = 0;
    std::string openApi_;
    httplib::Server server_;
};

}  // namespace tav::devhost

// HTTP/1.1 on 127.0.0.1 for a server that any web page can reach: one I/O
// thread serves every connection without blocking, so slow or idle sockets
// hold memory and not threads; requests must arrive whole within a deadline
// and within the limits of security.h; handlers run on worker threads; an
// answer may stream its body (an event stream).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "server/http_message.h"

namespace tav::devhost {

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    // handler runs on one of workers threads; an exception it throws is
    // answered with 500.
    HttpServer(Handler handler, std::size_t workers);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port) without sharing the port
    // with another listener; the port, or 0 with the reason in error.
    std::uint16_t listen(std::uint16_t port, std::string& error);
    // Serves on the calling thread until stop.
    void run();
    // From any thread, before or during run.
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tav::devhost

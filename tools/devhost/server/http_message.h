// The tool's HTTP requests and answers, independent of the code that reads
// and writes them on sockets.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tav::devhost {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// Header names compare ignoring case.
bool headerNameIs(std::string_view name, std::string_view wanted);

struct HttpRequest {
    std::string method;   // as sent
    std::string target;   // as sent: path with "?query"
    HttpHeaders headers;  // as sent, in order
    std::string body;

    // The first value of the header, or nullopt without one.
    std::optional<std::string_view> header(std::string_view name) const;
    std::size_t headerCount(std::string_view name) const;
};

// An answer body that arrives over time (an event stream).
class BodyStream {
public:
    virtual ~BodyStream() = default;
    // wake is called, from any thread and possibly under the stream's lock,
    // whenever take may have something; it must not block.
    virtual void setWake(std::function<void()> wake) = 0;
    // Appends what is ready to out; false once the body has ended (out may
    // still hold its last part).
    virtual bool take(std::string& out) = 0;
    // The connection is gone: no more wakes.
    virtual void close() = 0;
};

struct HttpResponse {
    int status = 200;
    HttpHeaders headers;
    std::string body;
    std::shared_ptr<BodyStream> stream;  // when set, sent chunked instead of body
    // How long the server waits before it writes the answer (a scripted
    // delay, say), on a timer, holding no thread.
    std::chrono::milliseconds hold{0};

    void setHeader(std::string name, std::string value);
    void setContent(std::string content, std::string contentType);
};

}  // namespace tav::devhost

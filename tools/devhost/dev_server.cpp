#include "dev_server.h"

#include <charconv>
#include <cstdio>

#include "control_routes.h"
#include "openapi/asyncapi_document.h"
#include "openapi/openapi_document.h"
#include "page_files.h"
#include "server/http_answers.h"
#include "server/security.h"

namespace tav::devhost {
namespace {

// Module calls take the host's lock one at a time; a second worker keeps
// the page, the documents and refusals answering meanwhile.
constexpr std::size_t kWorkers = 2;

constexpr const char* kCorsMethods = "GET, HEAD, POST, PUT, PATCH, DELETE";

HttpResponse pageFile(std::string_view name) {
    for (const PageFile& file : pageFiles()) {
        if (file.name == name) {
            HttpResponse response;
            response.setContent(std::string(file.content), std::string(file.contentType));
            response.setHeader("Cache-Control", "no-cache");
            return response;
        }
    }
    return errorResponse(404, "No such page file");
}

// A comma-separated list of header names, as a preflight asks for them;
// false for anything else, which is not echoed back.
bool headerNameList(std::string_view text) {
    return onlyCharacters(text, "-_, ");
}

void logRefusal(std::string_view what, std::string_view value) {
    std::fprintf(stderr, "tav-devhost: refused a request %.*s \"%s\"\n",
                 static_cast<int>(what.size()), what.data(), escapeForLog(value).c_str());
}

// A client of stream with its greeting queued and, for a client that comes
// back (Last-Event-ID), what it missed; 503 when the stream has all the
// clients it takes.
HttpResponse streamAnswer(EventStream& stream, const HttpRequest& request, bool withLogs,
                          std::string_view greeting, std::string_view data) {
    std::shared_ptr<EventStream::Client> client =
        stream.connect(withLogs, greeting, data, request.header("Last-Event-ID"));
    if (client == nullptr) {
        return errorResponse(503, "Too many event streams are open");
    }
    HttpResponse response;
    response.setHeader("Content-Type", "text/event-stream");
    response.setHeader("Cache-Control", "no-cache");
    response.stream = std::move(client);
    return response;
}

}  // namespace

DevServer::DevServer(DevHost& host, EventStream& events, TrafficLog& traffic,
                     EventStream& trafficEvents, std::string token,
                     std::vector<std::string> allowedOrigins, std::function<void()> onShutdown)
    : host_(host),
      events_(events),
      traffic_(traffic),
      trafficEvents_(trafficEvents),
      token_(std::move(token)),
      origins_(std::move(allowedOrigins)),
      onShutdown_(std::move(onShutdown)),
      server_([this](const HttpRequest& request) { return handle(request); }, kWorkers) {}

std::uint16_t DevServer::listen(std::uint16_t port, std::string& error) {
    port_ = server_.listen(port, error);
    origins_.setPort(port_);
    return port_;
}

void DevServer::run() {
    server_.run();
}

std::string DevServer::openApi() {
    std::lock_guard lock(documentMutex_);
    // Made again for the module a reload brought; the host's lock only then,
    // so that a long call into the module does not hold the document up.
    if (openApiGeneration_ != host_.moduleGeneration()) {
        host_.withEndpoints([&](const TavEndpointTable& table) {
            const std::string host = "127.0.0.1:" + std::to_string(port_);
            openApi_ = openApiDocument(table, {"tav-champ-select", TAV_VERSION, "http://" + host});
            asyncApi_ = asyncApiDocument(table, {"tav-champ-select", TAV_VERSION, host});
            openApiGeneration_ = host_.moduleGeneration();
        });
    }
    return openApi_;
}

std::string DevServer::asyncApi() {
    (void)openApi();  // made with it
    std::lock_guard lock(documentMutex_);
    return asyncApi_;
}

HttpResponse DevServer::handle(const HttpRequest& request) {
    // DNS rebinding: a page of another site that resolves its name to
    // 127.0.0.1 still sends its own name.
    const std::string_view host = request.header("Host").value_or("");
    if (request.headerCount("Host") != 1 || !hostAllowed(host, port_)) {
        logRefusal("for Host", host);
        return errorResponse(421, "This server answers only to 127.0.0.1 and localhost");
    }
    const std::optional<RequestTarget> target = parseTarget(request.target);
    if (!target) {
        return errorResponse(400, "The request target is not a path this server can read");
    }
    const bool control = target->path == "/_dev" || target->path.starts_with("/_dev/");
    if (request.headerCount("Origin") > 1 || request.headerCount("Sec-Fetch-Site") > 1) {
        return errorResponse(403, "A request may carry one Origin and one Sec-Fetch-Site");
    }
    const OriginVerdict verdict = origins_.judge(
        request.header("Origin"), request.header("Sec-Fetch-Site").value_or(""), control);
    if (!verdict.served) {
        logRefusal("from origin", request.header("Origin").value_or("(none)"));
        return errorResponse(403, verdict.refusal);
    }

    HttpResponse response;
    const std::optional<std::string_view> preflight =
        request.header("Access-Control-Request-Method");
    if (request.method == "OPTIONS" && preflight && request.header("Origin")) {
        response.status = 204;
        response.setHeader("Access-Control-Allow-Methods", kCorsMethods);
        if (const auto asked = request.header("Access-Control-Request-Headers");
            asked && headerNameList(*asked)) {
            response.setHeader("Access-Control-Allow-Headers", std::string(*asked));
        }
        if (request.header("Access-Control-Request-Private-Network")) {
            response.setHeader("Access-Control-Allow-Private-Network", "true");
        }
        response.setHeader("Access-Control-Max-Age", "600");
    } else if (control && !tokenGiven(request, *target)) {
        response = errorResponse(403, "The control routes need this run's token, given once");
    } else {
        // HEAD answers as GET; the server leaves the body out.
        const std::string_view method =
            request.method == "HEAD" ? std::string_view("GET") : std::string_view(request.method);
        response = route(request, *target, method);
    }
    if (!verdict.corsOrigin.empty()) {
        response.setHeader("Access-Control-Allow-Origin", verdict.corsOrigin);
        response.setHeader("Vary", "Origin");
    }
    response.setHeader("X-Content-Type-Options", "nosniff");
    return response;
}

bool DevServer::tokenGiven(const HttpRequest& request, const RequestTarget& target) const {
    const std::vector<std::string> inQuery = queryValues(target.query, "token");
    const std::size_t inHeader = request.headerCount("X-Tav-Dev-Token");
    if (inQuery.size() + inHeader != 1) {
        return false;
    }
    return tokenMatches(inHeader == 1 ? *request.header("X-Tav-Dev-Token") : inQuery.front(),
                        token_);
}

HttpResponse DevServer::traffic(const RequestTarget& target) {
    std::size_t limit = TrafficLog::kDefaultListed;
    if (const std::vector<std::string> given = queryValues(target.query, "limit"); !given.empty()) {
        const std::string& text = given.front();
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), limit);
        if (given.size() > 1 || ec != std::errc() || end != text.data() + text.size() ||
            limit == 0 || limit > TrafficLog::kMaxEntries) {
            return errorResponse(400, "limit must be one number from 1 to " +
                                          std::to_string(TrafficLog::kMaxEntries));
        }
    }
    HttpResponse response;
    response.setContent(traffic_.recent(limit), kJson);
    return response;
}

HttpResponse DevServer::trafficStream(const HttpRequest& request) {
    // The greeting tells a client that entries from here on will come.
    return streamAnswer(trafficEvents_, request, false, "traffic-open",
                        "{\"capacity\":" + std::to_string(TrafficLog::kMaxEntries) + "}");
}

HttpResponse DevServer::route(const HttpRequest& request, const RequestTarget& target,
                              std::string_view method) {
    const std::string_view path = target.path;
    if (method == "GET") {
        if (path == "/") {
            return pageFile("index.html");
        }
        if (path.starts_with("/page/")) {
            return pageFile(path.substr(6));
        }
        if (path == "/openapi.json") {
            HttpResponse response;
            response.setContent(openApi(), kJson);
            return response;
        }
        if (path == "/asyncapi.json") {
            HttpResponse response;
            response.setContent(asyncApi(), kJson);
            return response;
        }
        if (path == "/events") {
            return events(request, target);
        }
    }
    if (method == "GET" && path == "/_dev/traffic") {
        return traffic(target);
    }
    if (method == "GET" && path == "/_dev/traffic/stream") {
        return trafficStream(request);
    }
    if (method == "POST" && path == "/_dev/events/drop") {
        // The clients' reconnection is what this is for; the streams stay
        // open to them.
        const std::size_t dropped = events_.dropClients();
        HttpResponse response;
        response.setContent("{\"dropped\":" + std::to_string(dropped) + "}", kJson);
        return response;
    }
    if (path.starts_with("/_dev/")) {
        if (std::optional<HttpResponse> response =
                controlRoute(host_, onShutdown_, method, path.substr(6), request)) {
            return std::move(*response);
        }
        return errorResponse(404, "No control route takes this method and path");
    }
    return api(request, target, method);
}

HttpResponse DevServer::events(const HttpRequest& request, const RequestTarget& target) {
    const std::vector<std::string> log = queryValues(target.query, "log");
    const bool withLogs = !log.empty() && log.front() != "0";
    return streamAnswer(events_, request, withLogs, "devhost", host_.activeJson());
}

HttpResponse DevServer::api(const HttpRequest& request, const RequestTarget& target,
                            std::string_view method) {
    ApiRequest call;
    call.method = method;
    call.target = encodePath(target.path);
    if (!target.query.empty()) {
        call.target.append("?").append(target.query);
    }
    call.headers = request.headers;
    call.contentType = request.header("Content-Type").value_or("");
    call.body = request.body;
    ApiAnswer answer;
    EndpointMatch match;
    AnswerHold hold;
    if (!host_.callApi(call, target.path, answer, match, &hold)) {
        if (match.allowedMethods.empty()) {
            return errorResponse(404, "No route of the module matches this path");
        }
        std::string allow;
        for (const std::string_view allowed : match.allowedMethods) {
            allow.append(allow.empty() ? "" : ", ").append(allowed);
        }
        HttpResponse response =
            errorResponse(405, std::string(request.method) + " is not a method of this route");
        response.setHeader("Allow", allow);
        return response;
    }
    if (!hold.hung.empty()) {
        HttpResponse response = errorResponse(
            504, "Scripted to hang: " + hold.hung + " gave no answer within the hang limit of " +
                     std::to_string(hangLimit_.count()) + " s (--hang-limit)");
        response.hold = hangLimit_;
        return response;
    }
    HttpResponse response;
    if (answer.isError) {
        // Argument and body errors come without a status: the module did
        // not call its handler because the request was wrong.
        response = errorResponse(answer.status != 0 ? static_cast<int>(answer.status) : 400,
                                 answer.errorText);
    } else if (answer.streamed) {
        response.status = answer.status != 0 ? static_cast<int>(answer.status) : 200;
        response.setContent(answer.streamText,
                            answer.contentType.empty() ? kJson : answer.contentType);
    } else if (answer.status == 204 ||
               (answer.status == 0 && answer.value.kind() == BindingValueKind::Empty)) {
        response.status = 204;
    } else {
        response =
            valueResponse(request.header("Accept").value_or(""),
                          answer.status != 0 ? static_cast<int>(answer.status) : 200, answer.value);
    }
    response.hold = hold.delay;
    // The module's own headers, but never those that frame the answer.
    for (auto& [name, value] : answer.headers) {
        if (!headerNameIs(name, "Content-Type") && !headerNameIs(name, "Content-Length") &&
            !headerNameIs(name, "Transfer-Encoding") && !headerNameIs(name, "Connection")) {
            response.setHeader(std::move(name), std::move(value));
        }
    }
    return response;
}

}  // namespace tav::devhost

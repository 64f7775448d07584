#include "dev_server.h"

#include <cstdio>

#include "control_routes.h"
#include "http_answers.h"
#include "openapi/openapi_document.h"
#include "page_files.h"
#include "security.h"

namespace tav::devhost {
namespace {

constexpr int kThreads = 24;  // up to 16 event streams hold one each

const PageFile* pageFile(std::string_view name) {
    for (const PageFile& file : pageFiles()) {
        if (file.name == name) {
            return &file;
        }
    }
    return nullptr;
}

void sendPageFile(httplib::Response& res, std::string_view name) {
    const PageFile* file = pageFile(name);
    if (file == nullptr) {
        sendError(res, 404, "No such page file");
        return;
    }
    res.set_content(std::string(file->content), std::string(file->contentType));
    res.set_header("Cache-Control", "no-cache");
}

std::string_view pathOf(std::string_view target) {
    return target.substr(0, target.find('?'));
}

bool headersWithinBounds(const httplib::Headers& headers) {
    std::size_t bytes = 0;
    for (const auto& [name, value] : headers) {
        bytes += name.size() + value.size() + 4;
    }
    return headers.size() <= kMaxHeaderCount && bytes <= kMaxHeaderBytes;
}

}  // namespace

DevServer::DevServer(DevHost& host, EventStream& events, std::string token,
                     std::function<void()> onShutdown)
    : host_(host), events_(events), token_(std::move(token)), onShutdown_(std::move(onShutdown)) {
    server_.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server_.set_payload_max_length(kMaxBodyBytes);
    setUpChecks();
    setUpPage();
    setUpEvents();
    addControlRoutes(server_, host_, onShutdown_);
    setUpApi();
}

int DevServer::bind(std::uint16_t port) {
    if (port == 0) {
        port_ = static_cast<std::uint16_t>(server_.bind_to_any_port("127.0.0.1"));
    } else if (server_.bind_to_port("127.0.0.1", port)) {
        port_ = port;
    } else {
        return -1;
    }
    if (port_ == 0) {
        return -1;
    }
    const std::string serverUrl = "http://127.0.0.1:" + std::to_string(port_);
    openApi_ = openApiDocument(host_.endpoints(), {"tav-champ-select", "18.0.0", serverUrl});
    return port_;
}

bool DevServer::run() {
    return server_.listen_after_bind();
}

void DevServer::stop() {
    server_.stop();
}

void DevServer::setUpChecks() {
    using Handling = httplib::Server::HandlerResponse;
    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (!headersWithinBounds(req.headers)) {
            sendError(res, 431, "Too many or too large headers");
            return Handling::Handled;
        }
        // DNS rebinding: a page of another site that resolves its name to
        // 127.0.0.1 still sends its own name.
        if (const std::string host = req.get_header_value("Host"); !hostAllowed(host, port_)) {
            std::fprintf(stderr, "tav-devhost: refused a request for Host \"%s\"\n",
                         escapeForLog(host).c_str());
            sendError(res, 421, "This server answers only to 127.0.0.1 and localhost");
            return Handling::Handled;
        }
        if (pathOf(req.target).starts_with("/_dev/")) {
            const std::string given = req.has_header("X-Tav-Dev-Token")
                                          ? req.get_header_value("X-Tav-Dev-Token")
                                          : req.get_param_value("token");
            if (!tokenMatches(given, token_)) {
                sendError(res, 403, "The control routes need this run's token");
                return Handling::Handled;
            }
        }
        return Handling::Unhandled;
    });
    // Answers the library makes itself (413, 400, an unmatched method) get
    // an error object too.
    server_.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            sendError(res, res.status, std::string(reasonPhrase(res.status)));
        }
    });
    server_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
            std::string what = "Internal error";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            std::fprintf(stderr, "tav-devhost: a request failed: %s\n", escapeForLog(what).c_str());
            sendError(res, 500, what);
        });
}

void DevServer::setUpPage() {
    server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
        sendPageFile(res, "index.html");
    });
    server_.Get(R"(/page/([^/]+))", [](const httplib::Request& req, httplib::Response& res) {
        sendPageFile(res, req.matches[1].str());
    });
    server_.Get("/openapi.json", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(openApi_, kJson);
    });
}

void DevServer::setUpEvents() {
    server_.Get("/events", [this](const httplib::Request& req, httplib::Response& res) {
        const bool withLogs = req.has_param("log") && req.get_param_value("log") != "0";
        std::shared_ptr<EventStream::Client> client = events_.connect(withLogs);
        if (client == nullptr) {
            sendError(res, 503, "Too many event streams are open");
            return;
        }
        events_.sendTo(*client, "devhost", host_.activeJson());
        res.set_header("Cache-Control", "no-cache");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, client](std::size_t, httplib::DataSink& sink) {
                std::string messages;
                if (!events_.next(*client, messages)) {
                    sink.done();
                    return true;
                }
                if (messages.empty()) {
                    messages = ": keep-alive\n\n";
                }
                return sink.write(messages.data(), messages.size());
            },
            [this, client](bool) { events_.disconnect(client); });
    });
}

void DevServer::setUpApi() {
    const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
        ApiRequest request;
        request.method = req.method;
        request.target = req.target;
        for (const auto& [name, value] : req.headers) {
            // The library adds these for its own bookkeeping.
            if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" &&
                name != "LOCAL_PORT") {
                request.headers.emplace_back(name, value);
            }
        }
        request.contentType = req.get_header_value("Content-Type");
        request.body = req.body;
        ApiAnswer answer;
        EndpointMatch match;
        const std::string_view path = pathOf(req.target);
        if (!host_.callApi(request, path, answer, match)) {
            if (!match.allowedMethods.empty()) {
                std::string allow;
                for (const std::string_view method : match.allowedMethods) {
                    allow.append(allow.empty() ? "" : ", ").append(method);
                }
                res.set_header("Allow", allow);
                sendError(res, 405, req.method + " is not a method of this route");
            } else {
                sendError(res, 404, "No route of the module matches this path");
            }
            return;
        }
        for (const auto& [name, value] : answer.headers) {
            res.set_header(name.c_str(), value);
        }
        if (answer.isError) {
            // Argument and body errors come without a status: the module
            // did not call its handler because the request was wrong.
            sendError(res, answer.status != 0 ? static_cast<int>(answer.status) : 400,
                      answer.errorText);
        } else if (answer.streamed) {
            res.status = answer.status != 0 ? static_cast<int>(answer.status) : 200;
            res.set_content(answer.streamText,
                            answer.contentType.empty() ? kJson : answer.contentType.c_str());
        } else if (answer.status == 204 ||
                   (answer.status == 0 && answer.value.kind() == BindingValueKind::Empty)) {
            res.status = 204;
        } else {
            sendValue(req, res, answer.status != 0 ? static_cast<int>(answer.status) : 200,
                      answer.value);
        }
    };
    server_.Get(".*", handler);
    server_.Post(".*", handler);
    server_.Put(".*", handler);
    server_.Patch(".*", handler);
    server_.Delete(".*", handler);
    server_.Options(".*", handler);
}

}  // namespace tav::devhost

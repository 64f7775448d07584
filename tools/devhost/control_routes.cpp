#include "control_routes.h"

#include "formats/json.h"
#include "server/http_answers.h"
#include "server/request_target.h"

namespace tav::devhost {
namespace {

// The request's JSON body, or the 400 that refuses it.
std::optional<HttpResponse> jsonBody(const HttpRequest& request, BindingValue& out) {
    BindingResult body = readJson(request.body);
    if (!body) {
        return errorResponse(400, "The body is not JSON: " + std::string(body.error()));
    }
    out = std::move(body.value);
    return std::nullopt;
}

// The implementation a text names, or the 400 that refuses it.
std::optional<HttpResponse> implementationOf(std::string_view name, Implementation& out) {
    const std::optional<Implementation> which = implementationNamed(name);
    if (!which) {
        return errorResponse(400, "Unknown implementation (expected legacy or team-builder)");
    }
    out = *which;
    return std::nullopt;
}

HttpResponse json(std::string text) {
    HttpResponse response;
    response.setContent(std::move(text), kJson);
    return response;
}

HttpResponse noContent() {
    HttpResponse response;
    response.status = 204;
    return response;
}

HttpResponse setActive(DevHost& host, const HttpRequest& request) {
    BindingValue body;
    if (auto refused = jsonBody(request, body)) {
        return *refused;
    }
    const BindingValue* name = body.tryFind("implementation");
    if (name == nullptr) {
        return errorResponse(400,
                             "The body needs \"implementation\": legacy, team-builder or null");
    }
    std::optional<Implementation> active;
    if (name->kind() != BindingValueKind::Empty) {
        Implementation which{};
        if (auto refused = implementationOf(name->asString(), which)) {
            return *refused;
        }
        active = which;
    }
    host.setActive(active);
    return json(host.activeJson());
}

// PUT or DELETE of "resources/IMPLEMENTATION/PATH".
HttpResponse resource(DevHost& host, std::string_view method, std::string_view rest,
                      const HttpRequest& request) {
    const std::size_t slash = rest.find('/');
    if (slash == rest.npos || slash + 1 == rest.size()) {
        return errorResponse(404, "No such resource");
    }
    Implementation which{};
    if (auto refused = implementationOf(rest.substr(0, slash), which)) {
        return *refused;
    }
    const std::string path(rest.substr(slash + 1));
    if (method == "DELETE") {
        return host.deleteResource(which, path) ? noContent()
                                                : errorResponse(404, "No such resource");
    }
    BindingValue body;
    if (auto refused = jsonBody(request, body)) {
        return *refused;
    }
    if (std::string what = host.putResource(which, path, body); !what.empty()) {
        return errorResponse(400, what);
    }
    return noContent();
}

HttpResponse scriptAnswer(DevHost& host, const HttpRequest& request) {
    BindingValue body;
    if (auto refused = jsonBody(request, body)) {
        return *refused;
    }
    Implementation which{};
    if (auto refused = implementationOf(body.find("implementation").asString(), which)) {
        return *refused;
    }
    // The answer's own members, without the implementation.
    BindingValue fields;
    fields.makeStructure();
    for (const BindingMember& member : body.members()) {
        if (member.key() != "implementation") {
            fields.member(member.key()) = member.value();
        }
    }
    ScriptedAnswer answer;
    if (std::string what = readScriptedAnswer(fields, answer); !what.empty()) {
        return errorResponse(400, what);
    }
    if (std::string what = host.script(which, std::move(answer)); !what.empty()) {
        return errorResponse(400, what);
    }
    return noContent();
}

// A JSON number as a double; nothing for anything else.
std::optional<double> numberIn(const BindingValue& value) {
    switch (value.kind()) {
        case BindingValueKind::Signed:
            return static_cast<double>(value.asInt64());
        case BindingValueKind::Unsigned:
            return static_cast<double>(value.asUInt64());
        case BindingValueKind::Float:
            return value.asDouble();
        default:
            return std::nullopt;
    }
}

// A day of clock time at most in one step: more is a slip.
constexpr double kMaxAdvanceMs = 86'400'000;

// {"paused": bool}, {"speed": N} or {"advanceMs": N}; one at a time, so
// that what a step means is never in doubt.
HttpResponse setClock(DevHost& host, const HttpRequest& request) {
    BindingValue body;
    if (auto refused = jsonBody(request, body)) {
        return *refused;
    }
    constexpr std::string_view kUsage =
        "The body needs one of \"paused\": true or false, \"speed\": 0.25 to 16, "
        "\"advanceMs\": a whole number of milliseconds from 1";
    if (body.kind() != BindingValueKind::Structure || body.members().size() != 1) {
        return errorResponse(400, std::string(kUsage));
    }
    const BindingMember& member = *body.members().begin();
    const BindingValue& value = member.value();
    const std::optional<double> number = numberIn(value);
    if (member.key() == "paused" && value.kind() == BindingValueKind::Bool) {
        host.setClockPaused(value.asBool());
    } else if (member.key() == "speed" && number && *number >= ToolClock::kMinSpeed &&
               *number <= ToolClock::kMaxSpeed) {
        host.setClockSpeed(*number);
    } else if (member.key() == "advanceMs" && number && value.kind() != BindingValueKind::Float &&
               *number >= 1 && *number <= kMaxAdvanceMs) {
        host.advanceClock(static_cast<std::int64_t>(*number));
    } else {
        return errorResponse(400, std::string(kUsage));
    }
    return json(host.clockJson());
}

// DELETE answers: all, or ?method=M&url=U (&implementation=I) one.
HttpResponse unscript(DevHost& host, const HttpRequest& request) {
    const std::optional<RequestTarget> target = parseTarget(request.target);
    const std::string query = target ? target->query : "";
    const std::vector<std::string> method = queryValues(query, "method");
    const std::vector<std::string> url = queryValues(query, "url");
    const std::vector<std::string> named = queryValues(query, "implementation");
    if (method.size() > 1 || url.size() > 1 || named.size() > 1 || method.size() != url.size() ||
        (method.empty() && !named.empty())) {
        return errorResponse(400,
                             "Name one answer with method and url (and implementation, if "
                             "wanted), or nothing to remove them all");
    }
    std::optional<Implementation> only;
    if (!named.empty()) {
        Implementation which{};
        if (auto refused = implementationOf(named.front(), which)) {
            return *refused;
        }
        only = which;
    }
    if (method.empty()) {
        (void)host.unscript(std::nullopt, "", "");
        return noContent();
    }
    if (method.front().empty() || !host.unscript(only, method.front(), url.front())) {
        return errorResponse(404,
                             "No answer is scripted for " + method.front() + " " + url.front());
    }
    return noContent();
}

}  // namespace

std::optional<HttpResponse> controlRoute(DevHost& host, const std::function<void()>& onShutdown,
                                         std::string_view method, std::string_view path,
                                         const HttpRequest& request) {
    if (path == "state" && method == "GET") {
        return json(host.stateJson());
    }
    if (path == "active" && method == "POST") {
        return setActive(host, request);
    }
    if (path.starts_with("resources/") && (method == "PUT" || method == "DELETE")) {
        return resource(host, method, path.substr(10), request);
    }
    if (path == "answers" && method == "POST") {
        return scriptAnswer(host, request);
    }
    if (path == "clock" && method == "GET") {
        return json(host.clockJson());
    }
    if (path == "clock" && method == "POST") {
        return setClock(host, request);
    }
    if (path == "flow" && method == "GET") {
        std::string flow = host.flowJson();
        return flow.empty() ? errorResponse(404, "The scenario has no flow")
                            : json(std::move(flow));
    }
    if (path == "flow/dodge" && method == "POST") {
        return host.dodge() ? noContent() : errorResponse(404, "The scenario has no flow");
    }
    if (path == "answers" && method == "GET") {
        return json(host.answersJson());
    }
    if (path == "answers" && method == "DELETE") {
        return unscript(host, request);
    }
    if (path == "reload" && method == "POST") {
        std::string error;
        if (!host.reload(error)) {
            return errorResponse(400, error);
        }
        return json(host.activeJson());
    }
    if (path == "shutdown" && method == "POST") {
        onShutdown();
        HttpResponse response = json("{}");
        response.status = 202;
        return response;
    }
    return std::nullopt;
}

}  // namespace tav::devhost

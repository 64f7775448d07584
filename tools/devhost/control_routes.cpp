#include "control_routes.h"

#include "formats/json.h"
#include "http_answers.h"

namespace tav::devhost {
namespace {

// The request's JSON body; false after answering 400.
bool jsonBody(const httplib::Request& req, httplib::Response& res, BindingValue& out) {
    BindingResult body = readJson(req.body);
    if (!body) {
        sendError(res, 400, "The body is not JSON: " + std::string(body.error()));
        return false;
    }
    out = std::move(body.value);
    return true;
}

// The implementation a text names; false after answering 400.
bool implementationOf(std::string_view name, httplib::Response& res, Implementation& out) {
    const std::optional<Implementation> which = implementationNamed(name);
    if (!which) {
        sendError(res, 400, "Unknown implementation (expected legacy or team-builder)");
        return false;
    }
    out = *which;
    return true;
}

void noContent(httplib::Response& res) {
    res.status = 204;
}

}  // namespace

void addControlRoutes(httplib::Server& server, DevHost& host, std::function<void()> onShutdown) {
    server.Get("/_dev/state", [&host](const httplib::Request&, httplib::Response& res) {
        res.set_content(host.stateJson(), kJson);
    });
    server.Post("/_dev/active", [&host](const httplib::Request& req, httplib::Response& res) {
        BindingValue body;
        if (!jsonBody(req, res, body)) {
            return;
        }
        const BindingValue* name = body.tryFind("implementation");
        if (name == nullptr) {
            sendError(res, 400, "The body needs \"implementation\": legacy, team-builder or null");
            return;
        }
        std::optional<Implementation> active;
        if (name->kind() != BindingValueKind::Empty) {
            Implementation which{};
            if (!implementationOf(name->asString(), res, which)) {
                return;
            }
            active = which;
        }
        host.setActive(active);
        res.set_content(host.activeJson(), kJson);
    });
    const char* resourceRoute = R"(/_dev/resources/([^/]+)/(.+))";
    server.Put(resourceRoute, [&host](const httplib::Request& req, httplib::Response& res) {
        Implementation which{};
        BindingValue body;
        if (!implementationOf(req.matches[1].str(), res, which) || !jsonBody(req, res, body)) {
            return;
        }
        if (std::string what = host.putResource(which, req.matches[2].str(), body); !what.empty()) {
            sendError(res, 400, what);
            return;
        }
        noContent(res);
    });
    server.Delete(resourceRoute, [&host](const httplib::Request& req, httplib::Response& res) {
        Implementation which{};
        if (!implementationOf(req.matches[1].str(), res, which)) {
            return;
        }
        if (!host.deleteResource(which, req.matches[2].str())) {
            sendError(res, 404, "No such resource");
            return;
        }
        noContent(res);
    });
    server.Post("/_dev/answers", [&host](const httplib::Request& req, httplib::Response& res) {
        BindingValue body;
        if (!jsonBody(req, res, body)) {
            return;
        }
        Implementation which{};
        if (!implementationOf(body.find("implementation").asString(), res, which)) {
            return;
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
            sendError(res, 400, what);
            return;
        }
        host.script(which, std::move(answer));
        noContent(res);
    });
    server.Post("/_dev/reload", [&host](const httplib::Request&, httplib::Response& res) {
        std::string error;
        if (!host.reload(error)) {
            sendError(res, 400, error);
            return;
        }
        res.set_content(host.activeJson(), kJson);
    });
    server.Post("/_dev/shutdown", [onShutdown](const httplib::Request&, httplib::Response& res) {
        onShutdown();
        res.status = 202;
        res.set_content("{}", kJson);
    });
}

}  // namespace tav::devhost

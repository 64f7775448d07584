#include "traffic/traffic_fields.h"

#include "api/method_names.h"
#include "binding/host_value.h"
#include "server/http_message.h"
#include "traffic/traffic_log.h"

namespace tav::devhost {
namespace {

constexpr const char* kLevelNames[] = {"OKAY", "WARN", "ERROR", "ALWAYS"};

// The token of the control routes never goes into a trace someone may attach
// to a bug report.
bool isTokenHeader(std::string_view name) {
    return headerNameIs(name, "X-Tav-Dev-Token");
}

void putHeaders(BindingValue& into,
                const std::vector<std::pair<std::string, std::string>>& headers) {
    if (headers.empty()) {
        return;
    }
    BindingValue& list = into.member("headers");
    list.makeCollection();
    for (const auto& [name, value] : headers) {
        if (isTokenHeader(name)) {
            continue;
        }
        BindingValue& pair = list.append();
        pair.append().setString(name);
        pair.append().setString(value);
    }
}

void putText(BindingValue& into, const char* key, std::string_view text) {
    if (!text.empty()) {
        into.member(key).setString(text);
    }
}

std::string_view requestMethod(const TavRequest& request) {
    return request.method == TAV_METHOD_CUSTOM
               ? std::string_view(request.customMethod != nullptr ? request.customMethod : "")
               : methodName(request.method);
}

}  // namespace

std::string_view logLevelName(std::int32_t level) {
    return level >= 0 && level <= 3 ? kLevelNames[level] : "ALWAYS";
}

BindingValue apiAnswerFields(const ApiAnswer& answer) {
    BindingValue fields;
    fields.member("status").setUInt32(answer.status);
    putText(fields, "contentType", answer.contentType);
    putHeaders(fields, answer.headers);
    if (answer.isError) {
        fields.member("error").setString(answer.errorText);
    } else if (answer.streamed) {
        fields.member("stream").setString(answer.streamText);
    } else if (answer.value.kind() != BindingValueKind::Empty) {
        fields.member("body") = answer.value;
    }
    return fields;
}

BindingValue apiEntry(std::string_view path, const ApiRequest& request, const ApiAnswer& answer) {
    BindingValue entry;
    entry.member("path").setString(path);
    BindingValue& call = entry.member("request");
    call.member("method").setString(request.method);
    call.member("target").setString(request.target);
    putHeaders(call, request.headers);
    putText(call, "contentType", request.contentType);
    putBody(call, request.contentType, request.body);
    entry.member("answer") = apiAnswerFields(answer);
    return entry;
}

BindingValue hostRequestFields(const TavRequest& request) {
    BindingValue fields;
    fields.member("method").setString(requestMethod(request));
    fields.member("url").setString(request.url != nullptr ? request.url : "");
    if (request.arguments != nullptr && request.argumentCount > 0) {
        BindingValue& arguments = fields.member("arguments");
        arguments.makeCollection();
        for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
            BindingValue& argument = arguments.append();
            argument.member("name").setString(request.arguments[i].name);
            BindingErrorSink sink;
            if (!hostToValue(sink, argument.member("value"), request.arguments[i].value, "value")) {
                argument.member("value").setString("<" + sink.message + ">");
            }
        }
    }
    if (request.body != nullptr && request.bodyLength > 0) {
        const std::string_view contentType =
            request.contentType != nullptr ? request.contentType : "";
        putText(fields, "contentType", contentType);
        putBody(fields, contentType,
                {reinterpret_cast<const char*>(request.body), request.bodyLength});
    }
    return fields;
}

BindingValue hostRequestEntry(const TavRequest& request, const TavResponse& response) {
    BindingValue entry;
    entry.member("request") = hostRequestFields(request);
    BindingValue& answer = entry.member("answer");
    answer.member("status").setUInt32(response.status);
    if (response.isError != 0) {
        answer.member("error").setString(response.errorText != nullptr ? response.errorText : "");
    } else {
        BindingValue value;
        BindingErrorSink sink;
        if (hostToValue(sink, value, response.value, "answer") &&
            value.kind() != BindingValueKind::Empty) {
            answer.member("body") = std::move(value);
        }
    }
    return entry;
}

BindingValue eventEntry(std::string_view name, const BindingValue& payload) {
    BindingValue entry;
    entry.member("name").setString(name);
    entry.member("payload") = payload;
    return entry;
}

BindingValue subscriptionEntry(bool subscribed, std::string_view name) {
    BindingValue entry;
    entry.member("action").setString(subscribed ? "subscribe" : "unsubscribe");
    entry.member("name").setString(name);
    return entry;
}

BindingValue logEntry(std::int32_t level, std::string_view message) {
    BindingValue entry;
    entry.member("level").setString(logLevelName(level));
    entry.member("message").setString(message);
    return entry;
}

BindingValue moduleEntry(std::string_view version, std::string_view sha256,
                         std::string_view error) {
    BindingValue entry;
    entry.member("action").setString(error.empty() ? "reloaded" : "reload-failed");
    if (error.empty()) {
        entry.member("version").setString(version);
        entry.member("sha256").setString(sha256);
    } else {
        entry.member("error").setString(error);
    }
    return entry;
}

ApiRequest apiRequestOf(const BindingValue& entry) {
    const BindingValue& call = entry.find("request");
    ApiRequest request;
    request.method = call.find("method").asString();
    request.target = call.find("target").asString();
    for (const BindingValue& pair : call.find("headers").elements()) {
        request.headers.emplace_back(pair.elementAt(0).asString(), pair.elementAt(1).asString());
    }
    request.contentType = call.find("contentType").asString();
    request.body = bodyBytes(call);
    return request;
}

SimulatedAnswer hostAnswerOf(const BindingValue& entry) {
    const BindingValue& recorded = entry.find("answer");
    SimulatedAnswer answer;
    answer.status = static_cast<std::uint32_t>(recorded.find("status").asUInt64());
    if (const BindingValue* error = recorded.tryFind("error")) {
        answer.isError = true;
        answer.message = error->asString();
    } else {
        answer.value = recorded.find("body");
    }
    return answer;
}

}  // namespace tav::devhost

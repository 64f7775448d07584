#include "server/http_answers.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "formats/json.h"
#include "formats/message_pack.h"
#include "server/http_message.h"

namespace tav::devhost {
namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The q-value of one media range ("type/sub;q=0.5"): 1 without one.
double qualityOf(std::string_view parameters) {
    while (!parameters.empty()) {
        const std::size_t semicolon = parameters.find(';');
        const std::string_view parameter = trim(parameters.substr(0, semicolon));
        parameters =
            semicolon == parameters.npos ? std::string_view() : parameters.substr(semicolon + 1);
        if (parameter.size() > 2 && (parameter[0] == 'q' || parameter[0] == 'Q') &&
            parameter[1] == '=') {
            double q = 0;
            const std::string_view value = parameter.substr(2);
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), q);
            return ec == std::errc() && q >= 0 && q <= 1 ? q : 0;
        }
    }
    return 1;
}

}  // namespace

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 201:
            return "Created";
        case 202:
            return "Accepted";
        case 204:
            return "No Content";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 413:
            return "Payload Too Large";
        case 414:
            return "URI Too Long";
        case 415:
            return "Unsupported Media Type";
        case 421:
            return "Misdirected Request";
        case 422:
            return "Unprocessable Entity";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return status < 400 ? "OK" : "Error";
    }
}

std::string errorObject(int status, std::string_view message) {
    BindingValue error;
    error.member("errorCode").setString(reasonPhrase(status));
    error.member("httpStatus").setInt64(status);
    error.member("message").setString(message);
    return writeJson(error);
}

HttpResponse errorResponse(int status, std::string_view message) {
    HttpResponse response;
    response.status = status;
    response.setContent(errorObject(status, message), kJson);
    return response;
}

bool prefersMessagePack(std::string_view accept) {
    std::optional<double> messagePack;
    std::optional<double> json;
    double wildcard = -1;
    while (!accept.empty()) {
        const std::size_t comma = accept.find(',');
        const std::string_view range = trim(accept.substr(0, comma));
        accept = comma == accept.npos ? std::string_view() : accept.substr(comma + 1);
        const std::size_t semicolon = range.find(';');
        const std::string_view type = trim(range.substr(0, semicolon));
        const double q = semicolon == range.npos ? 1 : qualityOf(range.substr(semicolon + 1));
        if (headerNameIs(type, kMessagePack)) {
            messagePack = q;
        } else if (headerNameIs(type, kJson)) {
            json = q;
        } else if (type == "*/*" || headerNameIs(type, "application/*")) {
            wildcard = std::max(wildcard, q);
        }
    }
    return messagePack && *messagePack > 0 && *messagePack > json.value_or(wildcard);
}

HttpResponse valueResponse(std::string_view accept, int status, const BindingValue& value) {
    HttpResponse response;
    response.status = status;
    if (prefersMessagePack(accept)) {
        response.setContent(writeMessagePack(value), kMessagePack);
    } else {
        response.setContent(value.kind() == BindingValueKind::Empty ? "null" : writeJson(value),
                            kJson);
    }
    return response;
}

}  // namespace tav::devhost

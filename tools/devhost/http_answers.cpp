#include "http_answers.h"

#include "formats/json.h"
#include "message_pack_writer.h"

namespace tav::devhost {

std::string_view reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 201:
            return "Created";
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
        case 409:
            return "Conflict";
        case 413:
            return "Payload Too Large";
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

void sendError(httplib::Response& res, int status, std::string_view message) {
    res.status = status;
    res.set_content(errorObject(status, message), kJson);
}

void sendValue(const httplib::Request& req, httplib::Response& res, int status,
               const BindingValue& value) {
    res.status = status;
    if (req.get_header_value("Accept").find(kMessagePack) != std::string::npos) {
        res.set_content(writeMessagePack(value), kMessagePack);
        return;
    }
    res.set_content(value.kind() == BindingValueKind::Empty ? "null" : writeJson(value), kJson);
}

}  // namespace tav::devhost

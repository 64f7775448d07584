// How the tool writes its HTTP answers: error objects, values as JSON or
// MessagePack, and the reason phrases of the statuses it uses.
#pragma once

#include <string>
#include <string_view>

#include <httplib.h>

#include "binding/binding_value.h"

namespace tav::devhost {

inline constexpr const char* kJson = "application/json";
inline constexpr const char* kMessagePack = "application/x-msgpack";

// "Not Found" for 404, ...; "Error" or "OK" for statuses without their own.
std::string_view reasonPhrase(int status);

// {"errorCode": "<reason phrase>", "httpStatus": status, "message": message}
std::string errorObject(int status, std::string_view message);
void sendError(httplib::Response& res, int status, std::string_view message);

// The value as JSON, or MessagePack when the request's Accept asks for it;
// an empty value is written as JSON null.
void sendValue(const httplib::Request& req, httplib::Response& res, int status,
               const BindingValue& value);

}  // namespace tav::devhost

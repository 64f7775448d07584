// How the tool writes its HTTP answers: error objects, values as JSON or
// MessagePack, and the reason phrases of the statuses it uses.
#pragma once

#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "server/http_message.h"

namespace tav::devhost {

inline constexpr const char* kJson = "application/json";
inline constexpr const char* kMessagePack = "application/x-msgpack";

// "Not Found" for 404, ...; "Error" or "OK" for statuses without their own.
std::string_view reasonPhrase(int status);

// {"errorCode": "<reason phrase>", "httpStatus": status, "message": message}
std::string errorObject(int status, std::string_view message);
HttpResponse errorResponse(int status, std::string_view message);

// Whether an Accept header prefers MessagePack to JSON: its q-value is above
// JSON's (JSON's own, or that of application/* or */* when JSON is not named).
bool prefersMessagePack(std::string_view accept);

// The value as JSON, or MessagePack when accept prefers it; an empty value
// is written as JSON null.
HttpResponse valueResponse(std::string_view accept, int status, const BindingValue& value);

}  // namespace tav::devhost

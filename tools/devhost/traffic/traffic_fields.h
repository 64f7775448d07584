// What an entry of each kind holds, built from the records that crossed the
// host boundary, and read back when a trace is replayed. The members:
//   api           "path", "request" {"method", "target", "headers" [[name,
//                 value]...], "contentType", body}, "answer" {"status",
//                 "contentType", "headers", then "error", "stream" or "body"}
//   host-request  "request" {"method", "url", "arguments" [{"name", "value"}],
//                 "contentType", body}, "answer" {"status", "error" or "body"}
//   event-in      "name", "payload" (as delivered)
//   event-out     "name", "payload" (as published)
//   subscription  "action" ("subscribe" or "unsubscribe"), "name"
//   log           "level" ("OKAY", "WARN", "ERROR", "ALWAYS"), "message"
//   module        "action" ("reloaded" or "reload-failed"), then "version"
//                 and "sha256" of the new module, or "error"
// where a body is kept as putBody keeps it.
#pragma once

#include <cstdint>
#include <string_view>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "hosting/api_routing.h"
#include "simulation/simulated_behaviour.h"

namespace tav::devhost {

BindingValue apiEntry(std::string_view path, const ApiRequest& request, const ApiAnswer& answer);
BindingValue hostRequestEntry(const TavRequest& request, const TavResponse& response);
BindingValue eventEntry(std::string_view name, const BindingValue& payload);
BindingValue subscriptionEntry(bool subscribed, std::string_view name);
BindingValue logEntry(std::int32_t level, std::string_view message);
// error empty: reloaded.
BindingValue moduleEntry(std::string_view version, std::string_view sha256, std::string_view error);

// The answer members of an api entry for answer (what replay compares).
BindingValue apiAnswerFields(const ApiAnswer& answer);
// The request members of a host-request entry (what replay matches).
BindingValue hostRequestFields(const TavRequest& request);

// Read back: the API request of an api entry, the answer of a host-request.
ApiRequest apiRequestOf(const BindingValue& entry);
SimulatedAnswer hostAnswerOf(const BindingValue& entry);

std::string_view logLevelName(std::int32_t level);

}  // namespace tav::devhost

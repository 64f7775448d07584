// Telemetry events, posted to the host's telemetry endpoint as requests. The
// answer is not awaited: the future is ready at once and holds success.
#pragma once

#include <future>
#include <span>
#include <string_view>

#include "framework/remote_request.h"
#include "framework/request_outcome.h"

namespace tav {

class PluginBase;

class TelemetrySender {
public:
    explicit TelemetrySender(PluginBase& plugin) : plugin_(plugin) {}

    // POST "/telemetry/v1/events/" + name with the parameters.
    std::future<RequestOutcome<void>> send(std::string_view eventName,
                                           std::span<const NamedValue> parameters);

private:
    PluginBase& plugin_;
};

}  // namespace tav

#include "framework/telemetry.h"

#include <string>

#include "api/method_names.h"

namespace tav {

// Telemetry is fire-and-forget: the caller's future is settled before the
// request goes out, and neither a conversion failure nor the host's answer
// can change it.
std::future<RequestOutcome<void>> TelemetrySender::send(std::string_view eventName,
                                                        std::span<const NamedValue> parameters) {
    std::promise<RequestOutcome<void>> promise;
    promise.set_value(RequestOutcome<void>());
    std::string url = "/telemetry/v1/events/";
    url.append(eventName);
    (void)requestWithParameters(plugin_, MethodCode::Post, url, parameters);
    return promise.get_future();
}

}  // namespace tav

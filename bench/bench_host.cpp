#include "bench_host.h"

#include <cstdlib>
#include <string_view>

#include "format_inputs.h"
#include "framework/resource_events.h"

namespace tav::bench {
namespace {

constexpr std::string_view kLegacyActive = "/tav-champ-select-legacy/v1/implementation-active";
constexpr const char* kLegacySession = "/tav-champ-select-legacy/v1/session";

}  // namespace

void BenchHost::sendRequest(TavResponse& response, const TavRequest& request) {
    // Init's reads: the legacy implementation is active, every other
    // resource answers an empty value (the zeroed record).
    if (request.url != nullptr && std::string_view(request.url) == kLegacyActive) {
        response.value.tag = TAV_HOST_BOOL;
        response.value.payload.boolean = 1;
    }
}

void BenchHost::publishEvent(const TavHostEvent& event) {
    ++published;
    if (capture) {
        capturedEvents.emplace_back(event.name);
    }
}

void BenchHost::log(std::int32_t level, std::string_view message) {
    ++(level == 0 ? okayLines : otherLines);
    if (capture) {
        capturedLines.emplace_back(message);
    }
}

SessionUpdate::SessionUpdate() : name_(eventNameForUri(kLegacySession)) {
    BindingValue value;
    value.member("uri").setString(kLegacySession);
    value.member("eventType").setString("Update");
    value.member("data") = sessionInput().value;
    if (!valueToHost(nullptr, payload_, value)) {
        std::abort();  // the benchmarks' own session always converts
    }
    event_.payload = payload_.root();
}

bool SessionUpdate::bind(const BenchHost& host) {
    const hostkit::Subscription* subscription = host.findSubscription(name_);
    callback_ = subscription != nullptr ? subscription->callback : nullptr;
    if (subscription != nullptr) {
        event_.name = subscription->name.c_str();
        event_.userData = subscription->userData;
    }
    return callback_ != nullptr;
}

}  // namespace tav::bench

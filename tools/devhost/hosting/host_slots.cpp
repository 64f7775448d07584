#include "hosting/host_slots.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "binding/host_value.h"
#include "server/security.h"

namespace tav::devhost {

void HostSlots::deliverPending() {
    deliverQueued(
        [this] { services_.logLine(2, "events kept raising events; the rest were dropped"); });
}

void HostSlots::sendRequest(TavResponse& response, const TavRequest& request) {
    services_.answerRequest(response, request);
}

void HostSlots::publishEvent(const TavHostEvent& event) {
    BindingValue payload;
    BindingErrorSink sink;
    if (!hostToValue(sink, payload, event.payload, "payload")) {
        services_.logLine(2, "published event with a bad payload: " + sink.message);
        return;
    }
    services_.published(event.name, payload);
    queue(event.name, std::move(payload));
}

void HostSlots::subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                          void* userData, std::uint32_t flag) {
    EventHost::subscribe(name, hostContext, callback, userData, flag);
    services_.subscriptionChanged(true, name);
}

void HostSlots::unsubscribe(std::string_view name, void* hostContext) {
    if (endSubscriptions(name, hostContext) > 0) {
        services_.subscriptionChanged(false, name);
    }
}

void HostSlots::log(std::int32_t level, std::string_view message) {
    services_.logLine(level, message);
}

void HostSlots::slotFailed(const char* slot, const char* what) noexcept {
    if (what == nullptr) {
        std::fprintf(stderr, "tav-devhost: host slot %s failed\n", slot);
        return;
    }
    try {
        std::fprintf(stderr, "tav-devhost: host slot %s failed: %s\n", slot,
                     escapeForLog(what).c_str());
    } catch (...) {
        std::fprintf(stderr, "tav-devhost: host slot %s failed\n", slot);
    }
}

}  // namespace tav::devhost

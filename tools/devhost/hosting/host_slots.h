// The devhost's behaviour behind the host table the module receives at Init
// (hostkit/event_host.h keeps the subscriptions and the queue). The module
// calls the slots only from inside a call the host made (Init, an endpoint,
// an event callback, Shutdown), so they run under the host's lock and take
// none of their own. Events are queued and delivered after the call that
// raised them returns, one at a time, as a host delivers them.
#pragma once

#include <cstdint>
#include <string_view>

#include "binding/binding_value.h"
#include "hostkit/event_host.h"

namespace tav::devhost {

// What the slots hand on to the rest of the tool.
class HostServices {
public:
    virtual ~HostServices() = default;
    // Slot 0: fills response for request (a request to another plugin).
    virtual void answerRequest(TavResponse& response, const TavRequest& request) = 0;
    // Slot 2: an event the module published (already queued for subscribers).
    virtual void published(std::string_view name, const BindingValue& payload) = 0;
    // Slot 9: a log line, level 0 to 3.
    virtual void logLine(std::int32_t level, std::string_view text) = 0;
    // Slots 3 and 4: a subscription made or ended.
    virtual void subscriptionChanged(bool /*subscribed*/, std::string_view /*name*/) {}
};

class HostSlots final : public hostkit::EventHost {
public:
    explicit HostSlots(HostServices& services) : services_(services) {}

    // Delivers the queued events, including those their delivery raises.
    void deliverPending();

private:
    void sendRequest(TavResponse& response, const TavRequest& request) override;
    void publishEvent(const TavHostEvent& event) override;
    void subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                   void* userData, std::uint32_t flag) override;
    void unsubscribe(std::string_view name, void* hostContext) override;
    void log(std::int32_t level, std::string_view message) override;
    void slotFailed(const char* slot, const char* what) noexcept override;

    HostServices& services_;
};

}  // namespace tav::devhost

// The ten functions of the host table the module receives at Init, and the
// subscriptions they keep. The module calls them only from inside a call the
// host made (Init, an endpoint, an event callback, Shutdown), so they run
// under the host's lock and touch no lock of their own. Events are queued and
// delivered after the call that raised them returns, one at a time, as a host
// delivers them.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"

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

class HostSlots {
public:
    explicit HostSlots(HostServices& services);
    HostSlots(const HostSlots&) = delete;
    HostSlots& operator=(const HostSlots&) = delete;

    const TavPluginHost* table() const { return &table_.slots; }

    // Queues payload for every subscription of name at delivery time.
    void queueEvent(std::string name, BindingValue payload);
    // Delivers the queued events, including those their delivery raises.
    void deliverPending();
    // Forgets subscriptions and queued events (after Shutdown).
    void clear();

    std::size_t subscriptionCount() const { return subscriptions_.size(); }

private:
    // Standard layout with the slots first, so that a slot can find its owner
    // from the table pointer it receives.
    struct Table {
        TavPluginHost slots;
        HostSlots* owner;
    };
    struct Subscription {
        std::string name;
        void* hostContext;
        TavEventCallback callback;
        void* userData;
    };

    static HostSlots& owner(const TavPluginHost* host);

    HostServices& services_;
    Table table_{};
    std::vector<Subscription> subscriptions_;
    std::deque<std::pair<std::string, BindingValue>> pending_;
};

}  // namespace tav::devhost

// A host table that keeps the module's subscriptions and delivers events to
// them: at once (deliver), or queued and delivered after the call that raised
// them returns, one at a time, as the game client does (queue, then
// deliverQueued). Not locked: a host whose module calls in on several
// threads at once serialises the calls or locks around them itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "hostkit/host_table.h"

namespace tav::hostkit {

struct Subscription {
    std::string name;
    void* hostContext = nullptr;
    TavEventCallback callback = nullptr;
    void* userData = nullptr;
    std::uint32_t flag = 0;
};

class EventHost : public HostTable {
public:
    // In the order they were made.
    const std::vector<Subscription>& subscriptions() const { return subscriptions_; }
    // The first subscription of name; null when there is none.
    const Subscription* findSubscription(std::string_view name) const;

    // Calls every subscription of name now, with its user data.
    void deliver(std::string_view name, const TavHostValue& payload) const;

    // Keeps payload for every subscription of name at delivery time.
    void queue(std::string name, BindingValue payload);
    // Delivers the queued events, those their delivery raises included, up to
    // a bound: an event whose delivery queues another could go on for ever.
    // Past it the rest are dropped and overflow runs once.
    void deliverQueued(const std::function<void()>& overflow = {});

    // Forgets subscriptions and queued events (after Shutdown).
    void clear();

protected:
    // Keep and end subscriptions; an override adds its own behaviour and
    // calls these.
    void subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                   void* userData, std::uint32_t flag) override;
    void unsubscribe(std::string_view name, void* hostContext) override {
        (void)endSubscriptions(name, hostContext);
    }
    // Ends the subscriptions of name made with hostContext; how many there were.
    std::size_t endSubscriptions(std::string_view name, void* hostContext);

private:
    std::vector<Subscription> subscriptions_;
    std::deque<std::pair<std::string, BindingValue>> queued_;
};

}  // namespace tav::hostkit

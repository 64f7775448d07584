#include "hostkit/event_host.h"

#include "binding/host_value.h"

namespace tav::hostkit {
namespace {

constexpr std::size_t kMaxDeliveriesPerCall = 10000;

}  // namespace

const Subscription* EventHost::findSubscription(std::string_view name) const {
    for (const Subscription& subscription : subscriptions_) {
        if (subscription.name == name) {
            return &subscription;
        }
    }
    return nullptr;
}

void EventHost::deliver(std::string_view name, const TavHostValue& payload) const {
    // A copy: a callback may subscribe or unsubscribe.
    const std::vector<Subscription> current = subscriptions_;
    for (const Subscription& subscription : current) {
        if (subscription.name != name) {
            continue;
        }
        TavHostEvent event{};
        event.name = subscription.name.c_str();
        event.payload = payload;
        event.userData = subscription.userData;
        subscription.callback(&event);
    }
}

void EventHost::queue(std::string name, BindingValue payload) {
    queued_.emplace_back(std::move(name), std::move(payload));
}

void EventHost::deliverQueued(const std::function<void()>& overflow) {
    for (std::size_t delivered = 0; !queued_.empty(); ++delivered) {
        if (delivered == kMaxDeliveriesPerCall) {
            queued_.clear();
            if (overflow) {
                overflow();
            }
            return;
        }
        const auto [name, payload] = std::move(queued_.front());
        queued_.pop_front();
        HostValueRecord record;
        if (valueToHost(nullptr, record, payload)) {
            deliver(name, record.root());
        }
    }
}

void EventHost::clear() {
    subscriptions_.clear();
    queued_.clear();
}

void EventHost::subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                          void* userData, std::uint32_t flag) {
    subscriptions_.push_back({std::string(name), hostContext, callback, userData, flag});
}

std::size_t EventHost::endSubscriptions(std::string_view name, void* hostContext) {
    return std::erase_if(subscriptions_, [&](const Subscription& subscription) {
        return subscription.name == name && subscription.hostContext == hostContext;
    });
}

}  // namespace tav::hostkit

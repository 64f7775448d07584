#include "hosting/host_slots.h"

#include <cstdio>
#include <exception>
#include <type_traits>

#include "binding/host_value.h"
#include "server/security.h"

namespace tav::devhost {
namespace {

// An event whose delivery publishes another could go on for ever; a host
// stops somewhere.
constexpr std::size_t kMaxDeliveriesPerCall = 10000;

// No exception may travel back into the module through a slot.
template <class Fn>
void guarded(const char* slot, Fn&& fn) noexcept {
    try {
        fn();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tav-devhost: host slot %s failed: %s\n", slot,
                     escapeForLog(e.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "tav-devhost: host slot %s failed\n", slot);
    }
}

}  // namespace

HostSlots& HostSlots::owner(const TavPluginHost* host) {
    static_assert(std::is_standard_layout_v<Table>);
    return *reinterpret_cast<const Table*>(host)->owner;
}

HostSlots::HostSlots(HostServices& services) : services_(services) {
    table_.owner = this;
    TavPluginHost& s = table_.slots;
    s.sendRequest = [](const TavPluginHost* host, TavResponse* response,
                       const TavRequest* request) {
        guarded("sendRequest", [&] {
            if (response != nullptr && request != nullptr) {
                owner(host).services_.answerRequest(*response, *request);
            }
        });
    };
    s.slot1 = [](const TavPluginHost*, std::uintptr_t, std::uintptr_t) {};
    s.publishEvent = [](const TavPluginHost* host, const TavHostEvent* event) {
        guarded("publishEvent", [&] {
            if (event == nullptr || event->name == nullptr) {
                return;
            }
            BindingValue payload;
            BindingErrorSink sink;
            if (!hostToValue(sink, payload, event->payload, "payload")) {
                owner(host).services_.logLine(
                    2, "published event with a bad payload: " + sink.message);
                return;
            }
            HostSlots& self = owner(host);
            self.services_.published(event->name, payload);
            self.queueEvent(event->name, std::move(payload));
        });
    };
    s.subscribe = [](const TavPluginHost* host, const char* name, void* context,
                     TavEventCallback callback, void* userData, std::uint32_t /*flag*/) {
        guarded("subscribe", [&] {
            if (name != nullptr && callback != nullptr) {
                owner(host).subscriptions_.push_back({name, context, callback, userData});
                owner(host).services_.subscriptionChanged(true, name);
            }
        });
    };
    s.unsubscribe = [](const TavPluginHost* host, const char* name, void* context) {
        guarded("unsubscribe", [&] {
            if (name != nullptr) {
                if (std::erase_if(owner(host).subscriptions_, [&](const Subscription& sub) {
                        return sub.name == name && sub.hostContext == context;
                    }) > 0) {
                    owner(host).services_.subscriptionChanged(false, name);
                }
            }
        });
    };
    s.slot5 = [](const TavPluginHost*, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                 std::uint64_t, std::uintptr_t) {};
    // The module yields while it reads a stream; nothing else runs meanwhile
    // here, so it may always continue at once.
    s.waitStep = [](const TavPluginHost*) {};
    s.waitLabel = [](const TavPluginHost*, const char*, std::uintptr_t) {};
    s.waitResume = [](const TavPluginHost*) {};
    s.log = [](const TavPluginHost* host, std::int32_t level, const char* message) {
        guarded("log",
                [&] { owner(host).services_.logLine(level, message != nullptr ? message : ""); });
    };
}

void HostSlots::queueEvent(std::string name, BindingValue payload) {
    pending_.emplace_back(std::move(name), std::move(payload));
}

void HostSlots::deliverPending() {
    for (std::size_t delivered = 0; !pending_.empty(); ++delivered) {
        if (delivered == kMaxDeliveriesPerCall) {
            services_.logLine(2, "events kept raising events; the rest were dropped");
            pending_.clear();
            return;
        }
        const auto [name, payload] = std::move(pending_.front());
        pending_.pop_front();
        HostValueRecord record;
        if (!valueToHost(nullptr, record, payload)) {
            continue;
        }
        // A copy: a callback may subscribe or unsubscribe.
        const std::vector<Subscription> current = subscriptions_;
        for (const Subscription& sub : current) {
            if (sub.name != name) {
                continue;
            }
            TavHostEvent event{};
            event.name = sub.name.c_str();
            event.payload = record.root();
            event.userData = sub.userData;
            sub.callback(&event);
        }
    }
}

void HostSlots::clear() {
    subscriptions_.clear();
    pending_.clear();
}

}  // namespace tav::devhost

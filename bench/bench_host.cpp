#include "bench_host.h"

#include <cstdlib>
#include <string_view>
#include <type_traits>

#include "format_inputs.h"
#include "framework/resource_events.h"

namespace tav::bench {
namespace {

constexpr std::string_view kLegacyActive = "/tav-champ-select-legacy/v1/implementation-active";
constexpr const char* kLegacySession = "/tav-champ-select-legacy/v1/session";

}  // namespace

BenchHost& BenchHost::self(const TavPluginHost* host) {
    return *reinterpret_cast<BenchHost*>(const_cast<TavPluginHost*>(host));
}

BenchHost::BenchHost() {
    static_assert(std::is_standard_layout_v<BenchHost>);
    table.sendRequest = [](const TavPluginHost*, TavResponse* response, const TavRequest* request) {
        // Init's reads: the legacy implementation is active, every other
        // resource answers an empty value (the zeroed record).
        if (request->url != nullptr && std::string_view(request->url) == kLegacyActive) {
            response->value.tag = TAV_HOST_BOOL;
            response->value.payload.boolean = 1;
        }
    };
    table.slot1 = [](const TavPluginHost*, std::uintptr_t, std::uintptr_t) {};
    table.publishEvent = [](const TavPluginHost* host, const TavHostEvent* event) {
        BenchHost& h = self(host);
        ++h.published;
        if (h.capture) {
            h.capturedEvents.emplace_back(event->name != nullptr ? event->name : "");
        }
    };
    table.subscribe = [](const TavPluginHost* host, const char* name, void*,
                         TavEventCallback callback, void* userData, std::uint32_t) {
        self(host).subscriptions.push_back({name, callback, userData});
    };
    table.unsubscribe = [](const TavPluginHost*, const char*, void*) {};
    table.slot5 = [](const TavPluginHost*, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                     std::uint64_t, std::uintptr_t) {};
    table.waitStep = [](const TavPluginHost*) {};
    table.waitLabel = [](const TavPluginHost*, const char*, std::uintptr_t) {};
    table.waitResume = [](const TavPluginHost*) {};
    table.log = [](const TavPluginHost* host, std::int32_t level, const char* message) {
        BenchHost& h = self(host);
        ++(level == 0 ? h.okayLines : h.otherLines);
        if (h.capture) {
            h.capturedLines.emplace_back(message != nullptr ? message : "");
        }
    };
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
    callback_ = nullptr;
    for (const Subscription& s : host.subscriptions) {
        if (s.name == name_) {
            event_.name = s.name.c_str();
            event_.userData = s.userData;
            callback_ = s.callback;
        }
    }
    return callback_ != nullptr;
}

}  // namespace tav::bench

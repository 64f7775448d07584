#include "hostkit/host_table.h"

#include <cstdio>
#include <exception>
#include <type_traits>

namespace tav::hostkit {

struct Trampolines {
    static HostTable& owner(const TavPluginHost* host) {
        static_assert(std::is_standard_layout_v<HostTable::Table>);
        return *reinterpret_cast<const HostTable::Table*>(host)->owner;
    }

    template <class Fn>
    static void guarded(const TavPluginHost* host, const char* slot, Fn&& fn) noexcept {
        HostTable& self = owner(host);
        try {
            fn(self);
        } catch (const std::exception& e) {
            self.slotFailed(slot, e.what());
        } catch (...) {
            self.slotFailed(slot, nullptr);
        }
    }

    static std::string_view text(const char* text) {
        return text != nullptr ? std::string_view(text) : std::string_view();
    }

    static void TAV_ABI sendRequest(const TavPluginHost* host, TavResponse* response,
                                    const TavRequest* request) {
        if (response != nullptr && request != nullptr) {
            guarded(host, "sendRequest", [&](HostTable& h) { h.sendRequest(*response, *request); });
        }
    }
    static void TAV_ABI slot1(const TavPluginHost* host, std::uintptr_t a, std::uintptr_t b) {
        guarded(host, "slot1", [&](HostTable& h) { h.slot1(a, b); });
    }
    static void TAV_ABI publishEvent(const TavPluginHost* host, const TavHostEvent* event) {
        if (event != nullptr && event->name != nullptr) {
            guarded(host, "publishEvent", [&](HostTable& h) { h.publishEvent(*event); });
        }
    }
    static void TAV_ABI subscribe(const TavPluginHost* host, const char* name, void* context,
                                  TavEventCallback callback, void* userData, std::uint32_t flag) {
        if (name != nullptr && callback != nullptr) {
            guarded(host, "subscribe",
                    [&](HostTable& h) { h.subscribe(name, context, callback, userData, flag); });
        }
    }
    static void TAV_ABI unsubscribe(const TavPluginHost* host, const char* name, void* context) {
        if (name != nullptr) {
            guarded(host, "unsubscribe", [&](HostTable& h) { h.unsubscribe(name, context); });
        }
    }
    static void TAV_ABI slot5(const TavPluginHost* host, std::uintptr_t a, std::uintptr_t b,
                              std::uintptr_t c, std::uint64_t d, std::uintptr_t e) {
        guarded(host, "slot5", [&](HostTable& h) { h.slot5(a, b, c, d, e); });
    }
    static void TAV_ABI waitStep(const TavPluginHost* host) {
        guarded(host, "waitStep", [](HostTable& h) { h.waitStep(); });
    }
    static void TAV_ABI waitLabel(const TavPluginHost* host, const char* label,
                                  std::uintptr_t zero) {
        guarded(host, "waitLabel", [&](HostTable& h) { h.waitLabel(text(label), zero); });
    }
    static void TAV_ABI waitResume(const TavPluginHost* host) {
        guarded(host, "waitResume", [](HostTable& h) { h.waitResume(); });
    }
    static void TAV_ABI log(const TavPluginHost* host, std::int32_t level, const char* message) {
        guarded(host, "log", [&](HostTable& h) { h.log(level, text(message)); });
    }
};

HostTable::HostTable() {
    table_.owner = this;
    table_.slots = {&Trampolines::sendRequest,  &Trampolines::slot1,
                    &Trampolines::publishEvent, &Trampolines::subscribe,
                    &Trampolines::unsubscribe,  &Trampolines::slot5,
                    &Trampolines::waitStep,     &Trampolines::waitLabel,
                    &Trampolines::waitResume,   &Trampolines::log};
}

void HostTable::slotFailed(const char* slot, const char* what) noexcept {
    if (what != nullptr) {
        std::fprintf(stderr, "host slot %s failed: %s\n", slot, what);
    } else {
        std::fprintf(stderr, "host slot %s failed\n", slot);
    }
}

}  // namespace tav::hostkit

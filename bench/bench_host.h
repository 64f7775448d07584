// The host's side of the benchmarks that drive the plugin through its C
// records: a host table whose slots only count, the subscriptions the plugin
// made (the host kit's), and the event of a legacy session Update ready to
// deliver to them.
// The legacy implementation reports itself active; every other request is
// answered with an empty value.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/host_value.h"
#include "hostkit/event_host.h"

namespace tav::bench {

// While capture is set, the host keeps the text of the log lines and the
// names of the published events (for checks before timing, never while
// timed).
class BenchHost final : public hostkit::EventHost {
public:
    std::uint64_t published = 0;
    std::uint64_t okayLines = 0;
    std::uint64_t otherLines = 0;
    bool capture = false;
    std::vector<std::string> capturedLines;
    std::vector<std::string> capturedEvents;

    TavInitRecord initRecord() const {
        return EventHost::initRecord(reinterpret_cast<void*>(0x5EED));
    }

private:
    void sendRequest(TavResponse& response, const TavRequest& request) override;
    void publishEvent(const TavHostEvent& event) override;
    void log(std::int32_t level, std::string_view message) override;
};

// An Update of the legacy session (the benchmarks' session) as the host
// delivers it to the subscription the plugin made for it.
class SessionUpdate {
public:
    SessionUpdate();

    // False when the plugin made no subscription for the session.
    bool bind(const BenchHost& host);
    void deliver() const { callback_(&event_); }
    const std::string& eventName() const { return name_; }

private:
    HostValueRecord payload_;
    std::string name_;
    TavHostEvent event_{};
    TavEventCallback callback_ = nullptr;
};

}  // namespace tav::bench

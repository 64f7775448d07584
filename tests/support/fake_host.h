// An in-process stand-in for the host's function table, for framework tests:
// it records every call and lets a test script the answers (requests, stream
// reads) through std::function members. Subscriptions and their immediate
// delivery are the host kit's (hostkit/event_host.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "hostkit/event_host.h"

namespace tav::testing {

struct RecordedRequest {
    std::uint32_t method = 0;
    std::string url;
    std::uint32_t argumentCount = 0;
    BindingValue arguments;  // collection of {name, value} structures, decoded
    void* requestContext = nullptr;
};

struct RecordedEvent {
    std::string name;
    BindingValue payload;
    std::uint32_t word = 0;
    void* userData = nullptr;
};

using RecordedSubscription = hostkit::Subscription;

class FakeHost final : public hostkit::EventHost {
public:
    TavInitRecord initRecord(void* hostContext = reinterpret_cast<void*>(0x5EED)) const {
        return EventHost::initRecord(hostContext);
    }

    // Fills the response of a request; by default answers with an empty value.
    std::function<void(TavResponse& response, const RecordedRequest& request)> answer;

    std::vector<RecordedRequest> requests;
    std::vector<RecordedEvent> published;
    std::vector<std::string> unsubscribed;
    std::vector<std::string> calls;  // slot names in call order: "send", "wait7", ...
    std::vector<std::pair<std::int32_t, std::string>> logLines;

private:
    void sendRequest(TavResponse& response, const TavRequest& request) override;
    void slot1(std::uintptr_t, std::uintptr_t) override { calls.push_back("slot1"); }
    void publishEvent(const TavHostEvent& event) override;
    void subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                   void* userData, std::uint32_t flag) override;
    void unsubscribe(std::string_view name, void* hostContext) override;
    void slot5(std::uintptr_t, std::uintptr_t, std::uintptr_t, std::uint64_t,
               std::uintptr_t) override {
        calls.push_back("slot5");
    }
    void waitStep() override { calls.push_back("wait6"); }
    void waitLabel(std::string_view label, std::uintptr_t) override {
        calls.push_back("wait7:" + std::string(label));
    }
    void waitResume() override { calls.push_back("wait8"); }
    void log(std::int32_t level, std::string_view message) override {
        logLines.emplace_back(level, message);
    }
};

// A release function for scripted answers that counts its calls.
struct ReleaseCounter {
    static int calls;
    static void TAV_ABI release(TavResponse* response);
};

}  // namespace tav::testing

// An in-process stand-in for the host's function table, for framework tests:
// it records every call and lets a test script the answers (requests, stream
// reads) through std::function members. The table's first member makes the
// TavPluginHost pointer convertible back to the FakeHost.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"

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

struct RecordedSubscription {
    std::string name;
    void* hostContext = nullptr;
    TavEventCallback callback = nullptr;
    void* userData = nullptr;
    std::uint32_t flag = 0;
};

class FakeHost {
    // Declared before every other member, so that it sits at the object's
    // start and a TavPluginHost* is also a FakeHost* (checked on creation).
    TavPluginHost table_;

public:
    FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    const TavPluginHost* table() const { return &table_; }
    TavInitRecord initRecord(void* hostContext = reinterpret_cast<void*>(0x5EED)) const {
        return {&table_, hostContext};
    }

    // Fills the response of a request; by default answers with an empty value.
    std::function<void(TavResponse& response, const RecordedRequest& request)> answer;

    // Delivers an event to every recorded subscription of its name (as the
    // host would), with the subscription's user data.
    void deliver(const std::string& name, const TavHostValue& payload);

    std::vector<RecordedRequest> requests;
    std::vector<RecordedEvent> published;
    std::vector<RecordedSubscription> subscriptions;  // active ones
    std::vector<std::string> unsubscribed;
    std::vector<std::string> calls;  // slot names in call order: "send", "wait7", ...
    std::vector<std::pair<std::int32_t, std::string>> logLines;

private:
    static FakeHost& self(const TavPluginHost* host);
};

// Helpers for scripted answers: a value record that stays alive as long as
// the returned holder, and a release function that counts its calls.
struct ReleaseCounter {
    static int calls;
    static void TAV_ABI release(TavResponse* response);
};

}  // namespace tav::testing

#include "fake_host.h"

#include <cstring>

#include "binding/host_value.h"

namespace tav::testing {

int ReleaseCounter::calls = 0;

void TAV_ABI ReleaseCounter::release(TavResponse* response) {
    ++calls;
    std::memset(response, 0, sizeof *response);
}

void FakeHost::sendRequest(TavResponse& response, const TavRequest& request) {
    calls.push_back("send");
    RecordedRequest recorded;
    recorded.method = request.method;
    recorded.url = request.url != nullptr ? request.url : "";
    recorded.argumentCount = request.argumentCount;
    recorded.requestContext = request.requestContext;
    recorded.arguments.makeCollection();
    for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
        BindingValue& entry = recorded.arguments.append();
        const TavHostArgument& argument = request.arguments[i];
        entry.member("name").setString(argument.name != nullptr ? argument.name : "");
        BindingErrorSink sink;
        (void)hostToValue(sink, entry.member("value"), argument.value, "argument");
    }
    requests.push_back(std::move(recorded));
    if (answer) {
        answer(response, requests.back());
    }
}

void FakeHost::publishEvent(const TavHostEvent& event) {
    calls.push_back("publish");
    RecordedEvent recorded;
    recorded.name = event.name;
    BindingErrorSink sink;
    (void)hostToValue(sink, recorded.payload, event.payload, "payload");
    recorded.word = event.word;
    recorded.userData = event.userData;
    published.push_back(std::move(recorded));
}

void FakeHost::subscribe(std::string_view name, void* hostContext, TavEventCallback callback,
                         void* userData, std::uint32_t flag) {
    calls.push_back("subscribe");
    EventHost::subscribe(name, hostContext, callback, userData, flag);
}

void FakeHost::unsubscribe(std::string_view name, void* hostContext) {
    calls.push_back("unsubscribe");
    unsubscribed.emplace_back(name);
    EventHost::unsubscribe(name, hostContext);
}

}  // namespace tav::testing

#include "fake_host.h"

#include <cstdlib>
#include <cstring>

#include "binding/host_value.h"

namespace tav::testing {

int ReleaseCounter::calls = 0;

void TAV_ABI ReleaseCounter::release(TavResponse* response) {
    ++calls;
    std::memset(response, 0, sizeof *response);
}

FakeHost& FakeHost::self(const TavPluginHost* host) {
    return *reinterpret_cast<FakeHost*>(const_cast<TavPluginHost*>(host));
}

FakeHost::FakeHost() : table_{} {
    static_assert(std::is_standard_layout_v<TavPluginHost>);
    if (static_cast<const void*>(&table_) != static_cast<const void*>(this)) {
        std::abort();  // self() would find another object
    }
    table_.sendRequest = [](const TavPluginHost* host, TavResponse* response,
                            const TavRequest* request) {
        FakeHost& h = self(host);
        h.calls.push_back("send");
        RecordedRequest recorded;
        recorded.method = request->method;
        recorded.url = request->url != nullptr ? request->url : "";
        recorded.argumentCount = request->argumentCount;
        recorded.requestContext = request->requestContext;
        recorded.arguments.makeCollection();
        for (std::uint32_t i = 0; i < request->argumentCount; ++i) {
            BindingValue& entry = recorded.arguments.append();
            const TavHostArgument& argument = request->arguments[i];
            entry.member("name").setString(argument.name != nullptr ? argument.name : "");
            BindingErrorSink sink;
            (void)hostToValue(sink, entry.member("value"), argument.value, "argument");
        }
        h.requests.push_back(std::move(recorded));
        if (h.answer) {
            h.answer(*response, h.requests.back());
        }
    };
    table_.slot1 = [](const TavPluginHost* host, std::uintptr_t, std::uintptr_t) {
        self(host).calls.push_back("slot1");
    };
    table_.publishEvent = [](const TavPluginHost* host, const TavHostEvent* event) {
        FakeHost& h = self(host);
        h.calls.push_back("publish");
        RecordedEvent recorded;
        recorded.name = event->name != nullptr ? event->name : "";
        BindingErrorSink sink;
        (void)hostToValue(sink, recorded.payload, event->payload, "payload");
        recorded.word = event->word;
        recorded.userData = event->userData;
        h.published.push_back(std::move(recorded));
    };
    table_.subscribe = [](const TavPluginHost* host, const char* name, void* context,
                          TavEventCallback callback, void* userData, std::uint32_t flag) {
        FakeHost& h = self(host);
        h.calls.push_back("subscribe");
        h.subscriptions.push_back({name, context, callback, userData, flag});
    };
    table_.unsubscribe = [](const TavPluginHost* host, const char* name, void* /*context*/) {
        FakeHost& h = self(host);
        h.calls.push_back("unsubscribe");
        h.unsubscribed.emplace_back(name);
        std::erase_if(h.subscriptions,
                      [&](const RecordedSubscription& s) { return s.name == name; });
    };
    table_.slot5 = [](const TavPluginHost* host, std::uintptr_t, std::uintptr_t, std::uintptr_t,
                      std::uint64_t, std::uintptr_t) { self(host).calls.push_back("slot5"); };
    table_.waitStep = [](const TavPluginHost* host) { self(host).calls.push_back("wait6"); };
    table_.waitLabel = [](const TavPluginHost* host, const char* label, std::uintptr_t) {
        self(host).calls.push_back(std::string("wait7:") + (label != nullptr ? label : ""));
    };
    table_.waitResume = [](const TavPluginHost* host) { self(host).calls.push_back("wait8"); };
    table_.log = [](const TavPluginHost* host, std::int32_t level, const char* message) {
        self(host).logLines.emplace_back(level, message != nullptr ? message : "");
    };
}

void FakeHost::deliver(const std::string& name, const TavHostValue& payload) {
    // A copy: a handler may subscribe or unsubscribe while being called.
    const std::vector<RecordedSubscription> current = subscriptions;
    for (const RecordedSubscription& s : current) {
        if (s.name == name && s.callback != nullptr) {
            TavHostEvent event{};
            event.name = s.name.c_str();
            event.payload = payload;
            event.userData = s.userData;
            s.callback(&event);
        }
    }
}

}  // namespace tav::testing

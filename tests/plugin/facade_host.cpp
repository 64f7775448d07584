#include "facade_host.h"

#include "api/method_names.h"
#include "binding/host_value.h"
#include "formats/json.h"
#include "framework/resource_events.h"
#include "host_records.h"

namespace tav::testing {

BindingValue boolean(bool b) {
    BindingValue value;
    value.setBool(b);
    return value;
}

BindingValue json(const char* text) {
    return readJson(text).value;
}

FacadeHost::FacadeHost() : module(TAV_PLUGIN_MODULE_PATH), answers(module.host()) {}

void FacadeHost::start() {
    module.load();
    module.init();
}

void FacadeHost::deliver(const std::string& base, const std::string& relativePath,
                         const char* eventType, const BindingValue& data) {
    const std::string uri = base + relativePath;
    BindingValue payload;
    payload.member("uri").setString(uri);
    payload.member("eventType").setString(eventType);
    payload.member("data") = data;
    HostValueRecord record;
    if (valueToHost(nullptr, record, payload)) {
        module.host().deliver(eventNameForUri(uri), record.root());
    }
}

void FacadeHost::setActive(const std::string& base, const BindingValue& active) {
    deliver(base, "v1/implementation-active", "Update", active);
}

std::vector<std::string> FacadeHost::takePublished() {
    std::vector<std::string> out;
    for (const RecordedEvent& event : module.host().published) {
        out.push_back(event.name + " " + writeJson(event.payload.find("eventType")) + " " +
                      std::string(event.payload.find("uri").asString()));
    }
    module.host().published.clear();
    return out;
}

std::vector<std::string> FacadeHost::takeLog() {
    std::vector<std::string> out;
    for (const auto& [level, text] : module.host().logLines) {
        out.push_back(std::to_string(level) + " " + text);
    }
    module.host().logLines.clear();
    return out;
}

FacadeHost::Answer FacadeHost::call(std::uint32_t method, const std::string& route,
                                    const std::string& path, const std::string& body,
                                    const char* contentType) {
    Answer answer;
    const TavEndpointRecord* endpoint = findEndpoint(module.record().endpointTable, method, route);
    if (endpoint == nullptr) {
        return answer;
    }
    answer.found = true;
    const TavRequest request = requestTo(*endpoint, path.c_str(), body, contentType);
    TavResponse response{};
    endpoint->entry(&response, &request);
    answer.isError = response.isError != 0;
    answer.status = response.status;
    if (answer.isError && response.errorText != nullptr) {
        answer.error = response.errorText;
    } else {
        BindingErrorSink sink;
        (void)hostToValue(sink, answer.value, response.value, "<response>");
    }
    if (response.release != nullptr) {
        response.release(&response);
    }
    return answer;
}

std::vector<std::string> FacadeHost::takeForwarded() {
    std::vector<std::string> out;
    for (const RecordedRequest& request : module.host().requests) {
        out.push_back(std::string(methodName(request.method)) + " " + request.url);
    }
    module.host().requests.clear();
    return out;
}

}  // namespace tav::testing

#include "facade_host.h"

#include "binding/host_value.h"
#include "formats/json.h"
#include "framework/resource_events.h"

namespace tav::testing {

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

}  // namespace tav::testing

#include "hosting/dev_host.h"

#include "formats/json.h"
#include "framework/resource_events.h"
#include "traffic/traffic_fields.h"

namespace tav::devhost {
DevHost::DevHost(EventStream& events, TrafficLog& traffic)
    : events_(events),
      traffic_(traffic),
      slots_(*this),
      simulation_([this](const std::string& uri, std::string_view eventType,
                         const BindingValue& data) { resourceEvent(uri, eventType, data); }) {}

DevHost::~DevHost() {
    stop();
}

bool DevHost::start(const std::string& modulePath, const std::string& scenarioPath,
                    std::string& error, const BeforeInit& beforeInit) {
    std::lock_guard lock(mutex_);
    // The module first: its API description is what the scenario is checked
    // against.
    if (!module_.load(modulePath, error)) {
        error = modulePath + ": " + error;
        return false;
    }
    types_.emplace(endpoints());
    Scenario scenario;
    if (!loadScenario(scenarioPath, *types_, scenario, error) ||
        (beforeInit && !beforeInit(module_.record(), error))) {
        types_.reset();
        module_.shutdown();
        module_.unload();
        return false;
    }
    scenarioPath_ = scenarioPath;
    // Nobody has subscribed yet: the scenario's events go nowhere, and into
    // no trace either.
    starting_ = true;
    simulation_.apply(std::move(scenario));
    starting_ = false;
    slots_.clear();
    if (!module_.init(slots_.table(), this)) {
        error = modulePath + ": Init failed";
        module_.shutdown();
        slots_.clear();
        types_.reset();
        return false;
    }
    slots_.deliverPending();
    running_ = true;
    return true;
}

void DevHost::stop() {
    std::lock_guard lock(mutex_);
    if (!running_) {
        return;
    }
    running_ = false;
    module_.shutdown();
    slots_.clear();
    types_.reset();
    module_.unload();
}

bool DevHost::callApi(const ApiRequest& request, std::string_view path, ApiAnswer& answer,
                      EndpointMatch& match) {
    std::lock_guard lock(mutex_);
    if (!running_) {
        return false;
    }
    match = findEndpoint(endpoints(), request.method, path);
    if (match.endpoint == nullptr) {
        return false;
    }
    cause_ = traffic_.reserve();
    answer = callEndpoint(*match.endpoint, request);
    slots_.deliverPending();
    traffic_.add(TrafficKind::Api, apiEntry(path, request, answer), 0, cause_);
    cause_ = 0;
    return true;
}

std::string DevHost::stateJson() {
    std::lock_guard lock(mutex_);
    return writeJson(simulation_.state());
}

std::string DevHost::activeJsonLocked() const {
    BindingValue value;
    BindingValue& active = value.member("activeImplementation");
    if (const std::optional<Implementation> which = simulation_.active()) {
        active.setString(implementationName(*which));
    }
    return writeJson(value);
}

std::string DevHost::activeJson() {
    std::lock_guard lock(mutex_);
    return activeJsonLocked();
}

void DevHost::announceActive() {
    events_.publish("devhost", activeJsonLocked());
}

void DevHost::setActive(std::optional<Implementation> active) {
    std::lock_guard lock(mutex_);
    simulation_.setActive(active);
    slots_.deliverPending();
    announceActive();
}

std::string DevHost::putResource(Implementation implementation, const std::string& path,
                                 const BindingValue& value) {
    if (std::string what = checkResource(path, value); !what.empty()) {
        return what;
    }
    std::lock_guard lock(mutex_);
    simulation_.putResource(implementation, path, value);
    slots_.deliverPending();
    return {};
}

bool DevHost::deleteResource(Implementation implementation, const std::string& path) {
    std::lock_guard lock(mutex_);
    const bool deleted = simulation_.deleteResource(implementation, path);
    slots_.deliverPending();
    return deleted;
}

std::string DevHost::script(Implementation implementation, ScriptedAnswer answer) {
    std::lock_guard lock(mutex_);
    if (!running_) {
        return "The module is not loaded";
    }
    if (std::string what = checkAnswerUrl(answer, *types_); !what.empty()) {
        return what;
    }
    simulation_.script(implementation, std::move(answer));
    return {};
}

bool DevHost::reload(std::string& error) {
    std::lock_guard lock(mutex_);
    if (!running_) {
        error = "The module is not loaded";
        return false;
    }
    Scenario scenario;
    if (!loadScenario(scenarioPath_, *types_, scenario, error)) {
        return false;
    }
    simulation_.apply(std::move(scenario));
    slots_.deliverPending();
    announceActive();
    return true;
}

void DevHost::answerRequest(TavResponse& response, const TavRequest& request) {
    simulation_.answer(response, request);
    traffic_.add(TrafficKind::HostRequest, hostRequestEntry(request, response), cause_);
}

void DevHost::subscriptionChanged(bool subscribed, std::string_view name) {
    traffic_.add(TrafficKind::Subscription, subscriptionEntry(subscribed, name), cause_);
}

void DevHost::published(std::string_view name, const BindingValue& payload) {
    BindingValue message;
    message.member("name").setString(name);
    message.member("uri") = payload.find("uri");
    message.member("eventType") = payload.find("eventType");
    message.member("data") = payload.find("data");
    events_.publish("plugin", writeJson(message));
    traffic_.add(TrafficKind::EventOut, eventEntry(name, payload), cause_);
}

void DevHost::logLine(std::int32_t level, std::string_view text) {
    // The stream's log line is the traffic entry's own members.
    BindingValue line = logEntry(level, text);
    events_.publishLog(writeJson(line));
    traffic_.add(TrafficKind::Log, std::move(line), cause_);
}

void DevHost::resourceEvent(const std::string& uri, std::string_view eventType,
                            const BindingValue& data) {
    BindingValue payload;
    payload.member("uri").setString(uri);
    payload.member("eventType").setString(eventType);
    payload.member("data") = data;
    std::string name = eventNameForUri(uri);
    if (!starting_) {
        traffic_.add(TrafficKind::EventIn, eventEntry(name, payload), cause_);
    }
    slots_.queueEvent(std::move(name), std::move(payload));
}

}  // namespace tav::devhost

#include "dev_host.h"

#include <exception>

#include "formats/json.h"
#include "framework/resource_events.h"
#include "hosting/module_copy.h"
#include "hostkit/plugin_module.h"
#include "tool_platform/file_digest.h"
#include "traffic/trace_file.h"
#include "traffic/traffic_fields.h"

namespace tav::devhost {

// Declared so that it is destroyed in reverse: the types before the module
// whose table they point into, the module (its Shutdown, if still due, with
// its own host table) before the slots, the copy's file last.
struct DevHost::LoadedModule {
    explicit LoadedModule(HostServices& services) : slots(services) {}
    ModuleCopy copy;
    HostSlots slots;
    hostkit::PluginModule module;
    std::optional<ModuleTypes> types;
    std::string sha256;  // of the file loaded
};

namespace {

// The contract lets no exception out of Init; one that comes anyway is a
// failed Init rather than the end of the tool.
bool initialise(hostkit::PluginModule& module, const TavPluginHost* host, void* context,
                std::string& why) {
    try {
        if (module.init(host, context)) {
            return true;
        }
        why = "Init failed";
    } catch (const std::exception& e) {
        why = std::string("Init threw: ") + e.what();
    } catch (...) {
        why = "Init threw an exception";
    }
    return false;
}

}  // namespace

DevHost::DevHost(EventStream& events, TrafficLog& traffic)
    : events_(events),
      traffic_(traffic),
      simulation_([this](const std::string& uri, std::string_view eventType,
                         const BindingValue& data) { resourceEvent(uri, eventType, data); },
                  clock_) {
    // What a step of the flow changed reaches the module before the next
    // step runs, as if each came on its own.
    clock_.afterEachTask([this] {
        deliverPending();
        if (running_ && simulation_.active() != announced_) {
            announceActive();
        }
    });
}

DevHost::~DevHost() {
    stop();
}

std::unique_ptr<DevHost::LoadedModule> DevHost::loadModule(std::string& error) {
    auto loaded = std::make_unique<LoadedModule>(static_cast<HostServices&>(*this));
    std::string file = modulePath_;
    if (fromCopies_) {
        if (!loaded->copy.make(modulePath_, error)) {
            error = modulePath_ + ": " + error;
            return nullptr;
        }
        file = loaded->copy.path();
    }
    loaded->sha256 = tools::fileSha256(file);
    if (!loaded->module.load(file, error)) {
        error = modulePath_ + ": " + error;
        return nullptr;
    }
    loaded->copy.remove();
    loaded->types.emplace(*loaded->module.endpoints());
    return loaded;
}

bool DevHost::start(const std::string& modulePath, const std::string& scenarioPath,
                    std::string& error, const BeforeInit& beforeInit) {
    modulePath_ = modulePath;
    // The module first: its API description is what the scenario is checked
    // against.
    std::unique_ptr<LoadedModule> loaded = loadModule(error);
    if (loaded == nullptr) {
        return false;
    }
    std::lock_guard lock(mutex_);
    Scenario scenario;
    if (!loadScenario(scenarioPath, *loaded->types, scenario, error) ||
        (beforeInit && !beforeInit(loaded->module.record(), error))) {
        loaded->module.shutdown();
        return false;
    }
    scenarioPath_ = scenarioPath;
    // Nobody has subscribed yet: the scenario's events go nowhere, and into
    // no trace either.
    starting_ = true;
    clock_.startFromZero();
    simulation_.apply(std::move(scenario));
    starting_ = false;
    module_ = std::move(loaded);
    std::string why;
    if (!initialise(module_->module, module_->slots.table(), this, why)) {
        error = modulePath + ": " + why;
        module_->module.shutdown();
        module_.reset();
        return false;
    }
    module_->slots.deliverPending();
    ++generation_;
    running_ = true;
    announced_ = simulation_.active();
    ticker_ = std::thread([this] { tick(); });
    return true;
}

void DevHost::tick() {
    std::unique_lock lock(mutex_);
    while (!tickerStop_) {
        runDue();
        // Woken early by every change, which may have added a task.
        const auto wait = clock_.wallUntilNextTask().value_or(std::chrono::seconds(1));
        tickerWake_.wait_for(
            lock, std::min<std::chrono::milliseconds>(wait + std::chrono::milliseconds(1),
                                                      std::chrono::seconds(1)));
    }
}

void DevHost::runDue() {
    clock_.runDue();
    deliverPending();
}

void DevHost::stop() {
    {
        std::lock_guard lock(mutex_);
        tickerStop_ = true;
    }
    tickerWake_.notify_all();
    if (ticker_.joinable()) {
        ticker_.join();
    }
    std::lock_guard lock(mutex_);
    if (!running_) {
        return;
    }
    running_ = false;
    module_->module.shutdown();
    module_.reset();
}

bool DevHost::reloadModule(std::string& summary) {
    std::string error;
    std::unique_ptr<LoadedModule> next = loadModule(error);
    // What goes is unloaded after the lock is given back: nothing refers to
    // it any more, and a request need not wait for that.
    std::unique_ptr<LoadedModule> gone;
    std::lock_guard lock(mutex_);
    if (!running_) {
        summary = "the module is not running; nothing reloaded";
        return false;
    }
    // What the new module's Init and the old one's Shutdown do is caused by
    // the reload.
    cause_ = traffic_.reserve();
    const std::uint64_t seq = cause_;
    if (next != nullptr) {
        incoming_ = next.get();
        std::string why;
        const bool initialised = initialise(next->module, next->slots.table(), this, why);
        incoming_ = nullptr;
        if (initialised) {
            gone = std::move(module_);
            module_ = std::move(next);
            gone->module.shutdown();
            gone->slots.clear();
            ++generation_;
        } else {
            error = modulePath_ + ": " + why;
            next->module.shutdown();
            gone = std::move(next);
        }
    }
    module_->slots.deliverPending();
    const bool reloaded = error.empty();
    announceReload(reloaded, module_.get(), error, seq);
    cause_ = 0;
    summary = reloaded ? "module reloaded: version " + moduleVersion(module_->module.record()) +
                             ", sha256 " + module_->sha256
                       : "module reload failed, the old module keeps serving: " + error;
    return reloaded;
}

void DevHost::announceReload(bool reloaded, const LoadedModule* module, const std::string& error,
                             std::uint64_t seq) {
    const std::string version = reloaded ? moduleVersion(module->module.record()) : "";
    BindingValue entry = moduleEntry(version, reloaded ? module->sha256 : "", error);
    events_.publish("module", writeJson(entry));
    traffic_.add(TrafficKind::Module, std::move(entry), 0, seq);
}

const TavEndpointTable& DevHost::endpoints() const {
    return *module_->module.endpoints();
}

const TavLoadRecord& DevHost::loadRecord() const {
    return module_->module.record();
}

void DevHost::withEndpoints(const std::function<void(const TavEndpointTable&)>& fn) {
    std::lock_guard lock(mutex_);
    if (module_ != nullptr) {
        fn(*module_->module.endpoints());
    }
}

bool DevHost::callApi(const ApiRequest& request, std::string_view path, ApiAnswer& answer,
                      EndpointMatch& match, AnswerHold* hold) {
    std::lock_guard lock(mutex_);
    if (!running_) {
        return false;
    }
    runDue();
    match = findEndpoint(*module_->module.endpoints(), request.method, path);
    if (match.endpoint == nullptr) {
        return false;
    }
    cause_ = traffic_.reserve();
    (void)simulation_.takeHold();  // of requests no API request made
    answer = callEndpoint(*match.endpoint, request);
    match.endpoint = nullptr;  // a reload may unload it once the lock is free
    module_->slots.deliverPending();
    if (hold != nullptr) {
        *hold = simulation_.takeHold();
    }
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
    announced_ = simulation_.active();
    events_.publish("devhost", activeJsonLocked());
}

void DevHost::setActive(std::optional<Implementation> active) {
    std::lock_guard lock(mutex_);
    simulation_.setActive(active);
    deliverPending();
    announceActive();
}

std::string DevHost::putResource(Implementation implementation, const std::string& path,
                                 const BindingValue& value) {
    if (std::string what = checkResource(path, value); !what.empty()) {
        return what;
    }
    std::lock_guard lock(mutex_);
    simulation_.putResource(implementation, path, value);
    deliverPending();
    return {};
}

bool DevHost::deleteResource(Implementation implementation, const std::string& path) {
    std::lock_guard lock(mutex_);
    const bool deleted = simulation_.deleteResource(implementation, path);
    deliverPending();
    return deleted;
}

std::string DevHost::script(Implementation implementation, ScriptedAnswer answer) {
    std::lock_guard lock(mutex_);
    if (!running_) {
        return "The module is not loaded";
    }
    if (std::string what = checkAnswerUrl(answer, *module_->types); !what.empty()) {
        return what;
    }
    simulation_.script(implementation, std::move(answer));
    return {};
}

std::string DevHost::answersJson() {
    std::lock_guard lock(mutex_);
    return writeJson(simulation_.scriptedAnswers());
}

bool DevHost::unscript(std::optional<Implementation> only, std::string_view method,
                       std::string_view url) {
    std::lock_guard lock(mutex_);
    if (method.empty()) {
        simulation_.unscriptAll();
        return true;
    }
    return simulation_.unscript(only, method, url);
}

bool DevHost::reload(std::string& error) {
    std::lock_guard lock(mutex_);
    if (!running_) {
        error = "The module is not loaded";
        return false;
    }
    Scenario scenario;
    if (!loadScenario(scenarioPath_, *module_->types, scenario, error)) {
        return false;
    }
    simulation_.apply(std::move(scenario));
    deliverPending();
    announceActive();
    return true;
}

void DevHost::deliverPending() {
    if (module_ != nullptr) {
        module_->slots.deliverPending();
    }
    tickerWake_.notify_one();
}

std::vector<std::string> DevHost::scenarioWarnings() {
    std::lock_guard lock(mutex_);
    return simulation_.warnings();
}

std::string DevHost::clockJsonLocked() const {
    BindingValue value;
    value.member("nowMs").setInt64(clock_.nowMs());
    value.member("paused").setBool(clock_.paused());
    value.member("speed").setDouble(clock_.speed());
    return writeJson(value);
}

std::string DevHost::clockJson() {
    std::lock_guard lock(mutex_);
    return clockJsonLocked();
}

void DevHost::setClockPaused(bool paused) {
    std::lock_guard lock(mutex_);
    runDue();
    clock_.setPaused(paused);
    tickerWake_.notify_one();
}

void DevHost::setClockSpeed(double speed) {
    std::lock_guard lock(mutex_);
    runDue();
    clock_.setSpeed(speed);
    tickerWake_.notify_one();
}

void DevHost::advanceClock(std::int64_t ms) {
    std::lock_guard lock(mutex_);
    clock_.advance(ms);
    deliverPending();
}

std::string DevHost::flowJson() {
    std::lock_guard lock(mutex_);
    Flow* flow = simulation_.flow();
    return flow != nullptr ? writeJson(flow->state()) : std::string();
}

bool DevHost::dodge() {
    std::lock_guard lock(mutex_);
    Flow* flow = simulation_.flow();
    if (flow == nullptr) {
        return false;
    }
    flow->dodge();
    deliverPending();
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
    if (incoming_ != nullptr) {
        incoming_->slots.queue(name, payload);
    }
    if (module_ != nullptr) {
        module_->slots.queue(std::move(name), std::move(payload));
    }
}

}  // namespace tav::devhost

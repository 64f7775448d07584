// The development host: the loaded module, the host slots it calls, the
// simulated implementations and the event stream, behind one lock. Every
// call into the module (Init, an endpoint, an event delivery, Shutdown) and
// every change of the simulated state takes it, so the module sees one call
// at a time: stricter than the module needs (endpoint calls may overlap), and
// it keeps the simulation and the traffic's order simple.
//
// A reload of the module (--watch) loads the new file beside the running one
// and initialises it under the same lock, so every request is answered by
// the old module or by the new one once its Init is done. Each module has
// its own host table, and so its own subscriptions: the old one's Shutdown
// cannot end the new one's.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hosting/api_routing.h"
#include "hosting/host_slots.h"
#include "hosting/module_types.h"
#include "server/event_stream.h"
#include "simulation/scenario.h"
#include "simulation/simulation.h"
#include "simulation/tool_clock.h"
#include "traffic/traffic_log.h"

namespace tav::devhost {

class DevHost final : private HostServices {
public:
    // Every crossing of the module's boundary goes to traffic.
    DevHost(EventStream& events, TrafficLog& traffic);
    ~DevHost() override;

    // Reads the scenario, loads the module and runs Init; false with a
    // one-line reason in error. beforeInit (if given) runs once the module is
    // loaded and may refuse to go on, with its reason in error.
    using BeforeInit = std::function<bool(const TavLoadRecord&, std::string& error)>;
    bool start(const std::string& modulePath, const std::string& scenarioPath, std::string& error,
               const BeforeInit& beforeInit = {});
    // Shutdown and unload; later calls do nothing.
    void stop();

    // Load every module from a copy of its file (module_copy.h), as
    // reloadModule needs; before start.
    void loadFromCopies() { fromCopies_ = true; }
    // Loads the module file anew beside the running module, runs its Init
    // and only then the old one's Shutdown, and unloads the old one. When
    // the new one fails to load or to initialise, the old one keeps serving.
    // Either way the event stream ("module") and the traffic say so, and
    // summary gets a line for stderr.
    bool reloadModule(std::string& summary);

    // What the scenario's check noted; for the start line's neighbours.
    std::vector<std::string> scenarioWarnings();

    // Only while no reload can happen (before a watch starts).
    const TavEndpointTable& endpoints() const;
    const TavLoadRecord& loadRecord() const;
    // Runs fn on the running module's endpoint table, under the lock.
    void withEndpoints(const std::function<void(const TavEndpointTable&)>& fn);
    // Counts the modules started, so that what is made from a module's
    // table can tell that it is out of date.
    std::uint64_t moduleGeneration() const { return generation_.load(); }

    // Routes and calls; false (with match.allowedMethods filled) when no
    // endpoint takes method and path. hold (if given) gets what the answers
    // scripted for the module's requests meanwhile ask of the answer.
    bool callApi(const ApiRequest& request, std::string_view path, ApiAnswer& answer,
                 EndpointMatch& match, AnswerHold* hold = nullptr);

    // The control routes' operations. Errors come back as text.
    std::string stateJson();
    // {"activeImplementation": "legacy" | "team-builder" | null}
    std::string activeJson();
    void setActive(std::optional<Implementation> active);
    std::string putResource(Implementation implementation, const std::string& path,
                            const BindingValue& value);
    bool deleteResource(Implementation implementation, const std::string& path);
    // Refused (with what is wrong) for a URL the module never requests.
    std::string script(Implementation implementation, ScriptedAnswer answer);
    // Simulation::scriptedAnswers as JSON.
    std::string answersJson();
    // All of them (method empty), or those of method and url; false when
    // none went.
    bool unscript(std::optional<Implementation> only, std::string_view method,
                  std::string_view url);
    bool reload(std::string& error);

    // The tool clock: {"nowMs", "paused", "speed"}, and its controls.
    // Paused, the clock moves only by advanceClock, which runs what falls due
    // on the way in order.
    std::string clockJson();
    void setClockPaused(bool paused);
    void setClockSpeed(double speed);
    void advanceClock(std::int64_t ms);
    // The flow's state as JSON; empty when the scenario has no flow.
    std::string flowJson();
    // Ends the flow's session at once; false without a flow.
    bool dodge();

private:
    void answerRequest(TavResponse& response, const TavRequest& request) override;
    void published(std::string_view name, const BindingValue& payload) override;
    void logLine(std::int32_t level, std::string_view text) override;
    void subscriptionChanged(bool subscribed, std::string_view name) override;
    // Queues a resource event of the simulation for the module.
    void resourceEvent(const std::string& uri, std::string_view eventType,
                       const BindingValue& data);
    std::string activeJsonLocked() const;
    void deliverPending();
    void announceActive();
    // Runs what the clock has due, on the ticker's thread and before every
    // call into the module, so that what the module reads is current.
    void runDue();
    void tick();
    std::string clockJsonLocked() const;

    struct LoadedModule;
    // Loads the module file (from a copy, with fromCopies_) and calls its
    // entry; takes no lock, since the entry touches only the module.
    std::unique_ptr<LoadedModule> loadModule(std::string& error);
    void announceReload(bool reloaded, const LoadedModule* module, const std::string& error,
                        std::uint64_t seq);

    std::mutex mutex_;
    EventStream& events_;
    TrafficLog& traffic_;
    // The API request being answered (its traffic number), which caused
    // whatever crosses the boundary meanwhile.
    std::uint64_t cause_ = 0;
    bool starting_ = false;  // applying the scenario before Init
    bool fromCopies_ = false;
    std::string modulePath_;
    std::unique_ptr<LoadedModule> module_;  // while running
    // The new module during its Init in a reload: the simulation's events
    // are queued for both until one of them goes.
    LoadedModule* incoming_ = nullptr;
    std::atomic<std::uint64_t> generation_{0};
    ToolClock clock_;
    Simulation simulation_;
    // The active implementation as last announced; a flow may switch it.
    std::optional<Implementation> announced_;
    std::thread ticker_;
    std::condition_variable tickerWake_;
    bool tickerStop_ = false;
    std::string scenarioPath_;
    bool running_ = false;
};

}  // namespace tav::devhost

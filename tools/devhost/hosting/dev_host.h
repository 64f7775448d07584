// The development host: the loaded module, the host slots it calls, the
// simulated implementations and the event stream, behind one lock. Every
// call into the module (Init, an endpoint, an event delivery, Shutdown) and
// every change of the simulated state takes it, so the module sees one call
// at a time: stricter than the module needs (endpoint calls may overlap), and
// it keeps the simulation and the traffic's order simple.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "hosting/api_routing.h"
#include "hosting/host_slots.h"
#include "hosting/module_host.h"
#include "hosting/module_types.h"
#include "server/event_stream.h"
#include "simulation/scenario.h"
#include "simulation/simulation.h"
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

    const TavEndpointTable& endpoints() const { return *module_.endpoints(); }
    const TavLoadRecord& loadRecord() const { return module_.record(); }

    // Routes and calls; false (with match.allowedMethods filled) when no
    // endpoint takes method and path.
    bool callApi(const ApiRequest& request, std::string_view path, ApiAnswer& answer,
                 EndpointMatch& match);

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
    bool reload(std::string& error);

private:
    void answerRequest(TavResponse& response, const TavRequest& request) override;
    void published(std::string_view name, const BindingValue& payload) override;
    void logLine(std::int32_t level, std::string_view text) override;
    void subscriptionChanged(bool subscribed, std::string_view name) override;
    // Queues a resource event of the simulation for the module.
    void resourceEvent(const std::string& uri, std::string_view eventType,
                       const BindingValue& data);
    std::string activeJsonLocked() const;
    void announceActive();

    std::mutex mutex_;
    EventStream& events_;
    TrafficLog& traffic_;
    // The API request being answered (its traffic number), which caused
    // whatever crosses the boundary meanwhile.
    std::uint64_t cause_ = 0;
    bool starting_ = false;  // applying the scenario before Init
    ModuleHost module_;
    HostSlots slots_;
    std::optional<ModuleTypes> types_;  // while the module is loaded
    Simulation simulation_;
    std::string scenarioPath_;
    bool running_ = false;
};

}  // namespace tav::devhost

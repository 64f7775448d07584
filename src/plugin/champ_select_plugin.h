// The champ-select plugin object: the framework's plugin with one field of
// its own (which champ-select implementation is active) and the hooks that
// register its types and routes and subscribe to the implementations.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "api/endpoint_handler.h"
#include "api/method_names.h"
#include "formats/structured_error.h"
#include "framework/framework_types.h"
#include "framework/plugin_base.h"
#include "framework/request_outcome.h"
#include "framework/resource_events.h"
#include "plugin/api_types.h"

namespace Kelvo::Client::ChampSelect {

struct Restriction;
struct RouteParameter;

enum class ActiveDelegate : std::int32_t {
    None = 0,
    Legacy = 1,
    TeamBuilder = 2,
};

class ChampSelectPlugin : public tav::PluginBase {
public:
    static constexpr const char* kShortName = "tav-champ-select";

    ChampSelectPlugin() = default;
    ~ChampSelectPlugin() override = default;

    void Shutdown() override;
    void RegisterEndpoints() override;
    bool OnInitialize() override;

    ActiveDelegate activeDelegate() const {
        return static_cast<ActiveDelegate>(activeDelegate_.load(std::memory_order_relaxed));
    }

    // The active implementation's base URL followed by relativePath, or the
    // error "No active delegate" when none is active.
    tav::RequestOutcome<std::string> ResolveDelegateUrl(std::string_view relativePath) const;

    // The implementation-active handlers: the last implementation to report
    // true is the active one.
    void OnLegacyImplementationActive(const tav::ResourceEvent<bool>& event);
    void OnTeamBuilderImplementationActive(const tav::ResourceEvent<bool>& event);

    // Mirroring: the active implementation's session, re-published as ours.
    void OnDelegateSession(const tav::ResourceEvent<Api::ChampSelectSession>& event);
    // Converts data and publishes it under uri with the given event type.
    template <class T>
    void RepublishResource(tav::PluginResourceEventType eventType, std::string_view uri,
                           const T& data);

private:
    void RegisterRoutes();
    template <class R, class... Args, class Fn>
    void route(tav::MethodCode method, const char* path,
               std::initializer_list<RouteParameter> parameters, Fn fn);
    template <class R>
    tav::HandlerAnswer<R> forward(tav::MethodCode method, std::string_view relativePath,
                                  const Restriction* restriction = nullptr);
    template <class P>
    tav::HandlerAnswer<std::monostate> forwardWith(tav::MethodCode method,
                                                   std::string_view relativePath, const P& record);
    void SubscribeToDelegates();
    void onImplementationActive(ActiveDelegate self, bool active);
    // "/tav-champ-select-legacy/" or "/tav-lobby-team-builder/champ-select/";
    // null for None.
    static const char* baseUrl(ActiveDelegate delegate);
    // The listeners of both implementations' resource at relativePath, each
    // re-publishing under "/tav-champ-select/" + relativePath while its
    // implementation is the active one.
    template <class T>
    void mirror(std::string_view relativePath);
    // Publishes a resource event already converted (RepublishResource's last steps).
    void publishConverted(std::string_view uri, const tav::BindingResult& event,
                          const char* typeName);

    // Written by the implementation-active handlers and read by request
    // handlers on other host threads: atomic, so that the reads and writes
    // that race are still defined; nothing else is ordered by it.
    std::atomic<std::int32_t> activeDelegate_{static_cast<std::int32_t>(ActiveDelegate::None)};
};

}  // namespace Kelvo::Client::ChampSelect

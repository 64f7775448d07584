// Mirroring: the active implementation's session, pickable and bannable
// champions and team boost re-published as the facade's own resources, event
// by event, with nothing kept.
#include <algorithm>

#include "formats/json.h"
#include "framework/remote_request.h"
#include "framework/resource_listener.h"
#include "log/log_format.h"
#include "log/log_manager.h"
#include "log/log_record.h"
#include "plugin/champ_select_plugin.h"

namespace Kelvo::Client::ChampSelect {

using tav::PluginResourceEventType;

namespace {

constexpr std::string_view kFacadeBase = "/tav-champ-select/";
constexpr const char* kSessionUri = "/tav-champ-select/v1/session";

}  // namespace

template <class T>
void ChampSelectPlugin::RepublishResource(PluginResourceEventType eventType, std::string_view uri,
                                          const T& data) {
    publishConverted(uri, tav::resourceEventValue(eventType, uri, data, registry()),
                     tav::staticTypeInfo<T>().name);
}

void ChampSelectPlugin::publishConverted(std::string_view uri, const tav::BindingResult& event,
                                         const char* typeName) {
    if (!event) {
        tav::Trace("%s: Couldn't convert resource %s for event uri \"%s\"", shortName().c_str(),
                   typeName, std::string(uri).c_str());
        return;
    }
    (void)tav::SendEvent(*this, "OnJsonApiEvent", uri, event.value, 0);  // failures not reported
}

// The session is converted once: the Update line shows what is published.
void ChampSelectPlugin::OnDelegateSession(
    const tav::ResourceEvent<Api::ChampSelectSession>& event) {
    const tav::BindingResult converted =
        tav::resourceEventValue(event.eventType, kSessionUri, event.data, registry());
    if (event.eventType == PluginResourceEventType::Update) {
        std::string text;
        if (converted &&
            registry().find(tav::staticTypeInfo<Api::ChampSelectSession>()) != nullptr) {
            text = tav::writeJson(converted.value.find("data"), &registry());
        }
        // The line holds kLogMessageCapacity bytes at most: handing the
        // formatter only what fits spares it measuring and discarding the
        // rest of a session's text, one small buffer at a time.
        const int shown = static_cast<int>(std::min(text.size(), tav::kLogMessageCapacity));
        tav::Log(tav::LogLevel::Okay, 2, 0, "/tav-champ-select/v1/session: %.*s", shown,
                 text.data());
    } else {
        tav::Log(tav::LogLevel::Always, 1, 0, "%s champ select session.",
                 event.eventType == PluginResourceEventType::Create ? "Creating" : "Deleting");
    }
    publishConverted(kSessionUri, converted, tav::staticTypeInfo<Api::ChampSelectSession>().name);
}

template <class T>
void ChampSelectPlugin::mirror(std::string_view relativePath) {
    const std::string facadeUri = std::string(kFacadeBase).append(relativePath);
    for (const ActiveDelegate owner : {ActiveDelegate::Legacy, ActiveDelegate::TeamBuilder}) {
        tav::AddResourceListener<T>(*this, std::string(baseUrl(owner)).append(relativePath),
                                    [this, owner, facadeUri](const tav::ResourceEvent<T>& event) {
                                        if (activeDelegate() != owner) {  // read once
                                            return;
                                        }
                                        if constexpr (std::is_same_v<T, Api::ChampSelectSession>) {
                                            OnDelegateSession(event);
                                        } else {
                                            RepublishResource(event.eventType, facadeUri,
                                                              event.data);
                                        }
                                    });
    }
}

void ChampSelectPlugin::SubscribeToDelegates() {
    const std::string active = "v1/implementation-active";
    tav::AddResourceListener<bool>(
        *this, baseUrl(ActiveDelegate::Legacy) + active,
        [this](const tav::ResourceEvent<bool>& event) { OnLegacyImplementationActive(event); });
    tav::AddResourceListener<bool>(*this, baseUrl(ActiveDelegate::TeamBuilder) + active,
                                   [this](const tav::ResourceEvent<bool>& event) {
                                       OnTeamBuilderImplementationActive(event);
                                   });

    // Each resource legacy first, then team builder.
    mirror<Api::ChampSelectSession>("v1/session");
    mirror<Api::ChampSelectPickableChampions>("v1/pickable-champions");
    mirror<Api::ChampSelectBannableChampions>("v1/bannable-champions");
    mirror<Api::TeamBoost>("v1/team-boost");
}

}  // namespace Kelvo::Client::ChampSelect

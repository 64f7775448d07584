// Mirroring: the active implementation's session, pickable and bannable
// champions and team boost re-published as the facade's own resources, event
// by event, with nothing kept.
#include "formats/json.h"
#include "framework/remote_request.h"
#include "framework/resource_listener.h"
#include "log/log_manager.h"
#include "log/log_record.h"
#include "plugin/champ_select_plugin.h"

namespace Kelvo::Client::ChampSelect {

using tav::PluginResourceEventType;

template <class T>
void ChampSelectPlugin::RepublishResource(PluginResourceEventType eventType, std::string_view uri,
                                          const T& data) {
    tav::PluginResourceEvent event;
    event.uri = std::string(uri);
    event.eventType = eventType;
    tav::BindingResult converted = tav::toValue(data, registry());
    if (!converted) {
        tav::Trace("%s: Couldn't convert resource %s for event uri \"%s\"", shortName().c_str(),
                   tav::staticTypeInfo<T>().name, event.uri.c_str());
        return;
    }
    event.data = std::move(converted.value);
    (void)tav::SendEvent(*this, "OnJsonApiEvent", event, 0);  // failures are not reported
}

void ChampSelectPlugin::OnDelegateSession(
    const tav::ResourceEvent<Api::ChampSelectSession>& event) {
    if (event.eventType == PluginResourceEventType::Update) {
        std::string text;
        if (registry().find(tav::staticTypeInfo<Api::ChampSelectSession>()) != nullptr) {
            const tav::BindingResult value = tav::toValue(event.data, registry());
            if (value) {
                text = tav::writeJson(value.value, &registry());
            }
        }
        tav::Log(tav::LogLevel::Okay, 2, 0, "/tav-champ-select/v1/session: %s", text.c_str());
    } else {
        tav::Log(tav::LogLevel::Always, 1, 0, "%s champ select session.",
                 event.eventType == PluginResourceEventType::Create ? "Creating" : "Deleting");
    }
    RepublishResource(event.eventType, "/tav-champ-select/v1/session", event.data);
}

// One listener of an implementation's resource: acts only while that
// implementation is the active one (read once).
template <class T>
void ChampSelectPlugin::mirror(ActiveDelegate owner, std::string_view relativePath,
                               std::string_view facadeUri) {
    const std::string baseUrl = owner == ActiveDelegate::Legacy
                                    ? "/tav-champ-select-legacy/"
                                    : "/tav-lobby-team-builder/champ-select/";
    tav::AddResourceListener<T>(
        *this, baseUrl + std::string(relativePath),
        [this, owner, uri = std::string(facadeUri)](const tav::ResourceEvent<T>& event) {
            if (activeDelegate() != owner) {
                return;
            }
            if constexpr (std::is_same_v<T, Api::ChampSelectSession>) {
                OnDelegateSession(event);
            } else {
                RepublishResource(event.eventType, uri, event.data);
            }
        });
}

void ChampSelectPlugin::SubscribeToDelegates() {
    tav::AddResourceListener<bool>(
        *this, "/tav-champ-select-legacy/v1/implementation-active",
        [this](const tav::ResourceEvent<bool>& event) { OnLegacyImplementationActive(event); });
    tav::AddResourceListener<bool>(*this,
                                   "/tav-lobby-team-builder/champ-select/v1/implementation-active",
                                   [this](const tav::ResourceEvent<bool>& event) {
                                       OnTeamBuilderImplementationActive(event);
                                   });

    for (const ActiveDelegate owner : {ActiveDelegate::Legacy, ActiveDelegate::TeamBuilder}) {
        mirror<Api::ChampSelectSession>(owner, "v1/session", "/tav-champ-select/v1/session");
    }
    for (const ActiveDelegate owner : {ActiveDelegate::Legacy, ActiveDelegate::TeamBuilder}) {
        mirror<Api::ChampSelectPickableChampions>(owner, "v1/pickable-champions",
                                                  "/tav-champ-select/v1/pickable-champions");
    }
    for (const ActiveDelegate owner : {ActiveDelegate::Legacy, ActiveDelegate::TeamBuilder}) {
        mirror<Api::ChampSelectBannableChampions>(owner, "v1/bannable-champions",
                                                  "/tav-champ-select/v1/bannable-champions");
    }
    for (const ActiveDelegate owner : {ActiveDelegate::Legacy, ActiveDelegate::TeamBuilder}) {
        mirror<Api::TeamBoost>(owner, "v1/team-boost", "/tav-champ-select/v1/team-boost");
    }
}

}  // namespace Kelvo::Client::ChampSelect

#include "plugin/champ_select_plugin.h"

#include "plugin/api_types.h"

namespace Kelvo::Client::ChampSelect {

void ChampSelectPlugin::Shutdown() {
    PluginBase::Shutdown();
}

void ChampSelectPlugin::RegisterEndpoints() {
    Api::RegisterApiTypes(registry(), typeNamePrefix(), labels());
    RegisterRoutes();
}

bool ChampSelectPlugin::OnInitialize() {
    SubscribeToDelegates();
    return true;
}

// The routes arrive with the request dispatcher.
void ChampSelectPlugin::RegisterRoutes() {}

}  // namespace Kelvo::Client::ChampSelect

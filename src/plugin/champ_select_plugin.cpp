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

// The routes and the delegate subscriptions arrive with the facade: until
// then the plugin registers its types only.
void ChampSelectPlugin::RegisterRoutes() {}

void ChampSelectPlugin::SubscribeToDelegates() {}

}  // namespace Kelvo::Client::ChampSelect

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

}  // namespace Kelvo::Client::ChampSelect

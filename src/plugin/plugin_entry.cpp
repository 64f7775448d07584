// The module's one exported function: creates the plugin object and hands it
// to the framework's loader, which fills the host's load record.
#include <new>

#include <tav/plugin_abi.h>

#include "framework/plugin_loader.h"
#include "plugin/champ_select_plugin.h"

extern "C" TAV_EXPORT void TAV_ABI load_tav_champ_select(TavLoadRecord* record) {
    using Kelvo::Client::ChampSelect::ChampSelectPlugin;
    // Nothing may cross back into the host as an exception: without memory
    // the loader gets no object and the record stays untouched.
    ChampSelectPlugin* plugin = nullptr;
    try {
        plugin = new (std::nothrow) ChampSelectPlugin();
    } catch (...) {
        plugin = nullptr;
    }
    if (plugin == nullptr) {
        return;
    }
    tav::PluginLoader::Load(plugin, record, ChampSelectPlugin::kShortName);
}

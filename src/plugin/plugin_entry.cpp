// The module's one exported function: creates the plugin object and hands it
// to the framework's loader, which fills the host's load record.
#include <memory>
#include <new>

#include <tav/plugin_abi.h>

#include "framework/plugin_loader.h"
#include "log/host_guard.h"
#include "plugin/champ_select_plugin.h"

extern "C" TAV_EXPORT void TAV_ABI load_tav_champ_select(TavLoadRecord* record) {
    using Kelvo::Client::ChampSelect::ChampSelectPlugin;
    // The loader writes the record only once everything else is done, so a
    // failure on the way (no memory) leaves it untouched and frees the object.
    tav::guardHostCall("load_tav_champ_select", [record] {
        std::unique_ptr<ChampSelectPlugin> plugin(new (std::nothrow) ChampSelectPlugin());
        if (plugin == nullptr) {
            return;
        }
        tav::PluginLoader::Load(plugin.get(), record, ChampSelectPlugin::kShortName);
        if (record != nullptr && record->context == plugin.get()) {
            plugin.release();  // the host owns it now
        }
    });
}

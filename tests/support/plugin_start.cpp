#include "plugin_start.h"

#include "framework/plugin_base.h"
#include "framework/plugin_loader.h"

namespace tav::testing {

bool startPlugin(PluginBase& plugin, FakeHost& host, const char* shortName) {
    TavLoadRecord load{};
    load.apiMajor = 18;
    PluginLoader::Load(&plugin, &load, shortName);
    const TavInitRecord init = host.initRecord();
    return PluginLoader::Init(&plugin, &init) != 0;
}

}  // namespace tav::testing

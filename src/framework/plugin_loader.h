// Loading a plugin: the API version check against the host (an incompatible
// host ends the process with a fatal report), the plugin's names, the
// framework's types, the plugin's endpoints, and the answers written into the
// host's load record. Also the three callbacks the host drives it through.
#pragma once

#include <cstdint>

#include <tav/plugin_abi.h>

namespace tav {

class PluginBase;

class PluginLoader {
public:
    // Loads plugin (owned by the host from the return on) and fills record.
    static void Load(PluginBase* plugin, TavLoadRecord* record, const char* shortName);

    // The callback table handed to the host.
    static std::uint8_t TAV_ABI Init(void* context, const TavInitRecord* init);
    static void TAV_ABI Shutdown(void* context);
    static void TAV_ABI MemoryStats(void* context, std::uint32_t* words);
};

}  // namespace tav

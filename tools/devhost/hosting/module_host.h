// The module as the game client holds it: loaded through the platform layer,
// its entry called with a load record for plugin API 18.0, initialised with
// the host's table, shut down and unloaded. Only the records of
// tav/plugin_abi.h pass between the two.
#pragma once

#include <string>

#include <tav/plugin_abi.h>

namespace tav::devhost {

class ModuleHost {
public:
    ModuleHost() = default;
    ~ModuleHost();  // shuts down if needed, then unloads
    ModuleHost(const ModuleHost&) = delete;
    ModuleHost& operator=(const ModuleHost&) = delete;

    // Loads path and calls its entry; false with the reason in error.
    bool load(const std::string& path, std::string& error);
    // Calls Init; false when the module refuses.
    bool init(const TavPluginHost* host, void* hostContext);
    // Calls Shutdown once (also after a refused or missing Init: it frees
    // the plugin object); later calls do nothing.
    void shutdown();
    void unload();

    const TavLoadRecord& record() const { return record_; }
    // The endpoint table the module handed over; null before load.
    const TavEndpointTable* endpoints() const {
        return static_cast<const TavEndpointTable*>(record_.endpointTable);
    }

private:
    void* handle_ = nullptr;
    TavLoadRecord record_{};
    // Packed records may lie anywhere, but the module binds a reference to
    // the init record's host pointer: keep it where a pointer may be.
    alignas(void*) TavInitRecord init_{};
    bool shutDown_ = false;
};

}  // namespace tav::devhost

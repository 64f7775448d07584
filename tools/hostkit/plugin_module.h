// The module as a host holds it: the file loaded through the platform layer,
// its entry (load_tav_champ_select) resolved and called with a load record,
// Init with a host table, Shutdown once, and the file closed. Failures come
// back as text: the system's own words, or a plain one for a file built for
// the other word size, which the system's words hide.
#pragma once

#include <cstdint>
#include <string>

#include <tav/plugin_abi.h>

#include "platform/module_loading.h"

namespace tav::hostkit {

// The plugin API version a host offers; by default the one it is built with.
struct ApiVersion {
    std::uint32_t major = TAV_PLUGIN_API_VERSION_MAJOR;
    std::uint32_t minor = TAV_PLUGIN_API_VERSION_MINOR;
    std::uint32_t patch = TAV_PLUGIN_API_VERSION_PATCH;
};

class PluginModule {
public:
    PluginModule() = default;
    ~PluginModule() { close(); }
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Loads the file at path and resolves its entry; false with the reason.
    [[nodiscard]] bool open(const std::string& path, std::string& error);
    bool isOpen() const { return entry_ != nullptr; }
    // Calls the entry with a fresh load record of version; the record as the
    // module filled it (a refusal leaves its callbacks null).
    const TavLoadRecord& callEntry(ApiVersion version = {});
    // open and callEntry; false, with the file closed, when the module filled
    // no callbacks or no endpoint table.
    [[nodiscard]] bool load(const std::string& path, std::string& error, ApiVersion version = {});

    // Calls Init; false when the module refuses or was not loaded.
    bool init(const TavPluginHost* host, void* hostContext);
    // Calls Shutdown once (also after a refused or missing Init: it frees
    // the plugin object); later calls do nothing.
    void shutdown();
    // The fourteen words of MemoryStats; untouched before the entry ran.
    void memoryStats(std::uint32_t (&words)[14]) const;
    // Shutdown if due, then the file closed.
    void close();

    const TavLoadRecord& record() const { return record_; }
    // The endpoint table the module handed over; null before the entry ran.
    const TavEndpointTable* endpoints() const {
        return static_cast<const TavEndpointTable*>(record_.endpointTable);
    }

private:
    platform::ModuleHandle handle_ = nullptr;
    TavLoadFunction entry_ = nullptr;
    TavLoadRecord record_{};
    // Packed records may lie anywhere, but the module binds a reference to
    // the init record's host pointer: keep it where a pointer may be.
    alignas(void*) TavInitRecord init_{};
    bool shutDown_ = false;
};

}  // namespace tav::hostkit

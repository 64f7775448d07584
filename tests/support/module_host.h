// Loads the built plugin module the way the host does (LoadLibrary or dlopen
// through the platform layer, then load_tav_champ_select), and drives it through its callbacks
// against a FakeHost. For tests that cross the real module boundary.
#pragma once

#include <cstdint>
#include <string>

#include <tav/plugin_abi.h>

#include "fake_host.h"

namespace tav::testing {

class ModuleHost {
public:
    // path: the module file; the version is the host's plugin API version.
    explicit ModuleHost(const std::string& path, std::uint32_t major = 18, std::uint32_t minor = 0,
                        std::uint32_t patch = 0);
    ~ModuleHost();
    ModuleHost(const ModuleHost&) = delete;
    ModuleHost& operator=(const ModuleHost&) = delete;

    bool loaded() const { return handle_ != nullptr && entry_ != nullptr; }
    const std::string& loadError() const { return error_; }

    // Calls the entry with a fresh load record; returns it as filled.
    const TavLoadRecord& load();
    bool init();
    void shutdown();
    void memoryStats(std::uint32_t (&words)[14]);

    FakeHost& host() { return host_; }
    const TavLoadRecord& record() const { return record_; }

private:
    void* handle_ = nullptr;
    TavLoadFunction entry_ = nullptr;
    std::string error_;
    FakeHost host_;
    TavInitRecord init_{};
    TavLoadRecord record_{};
    bool shutDown_ = false;
};

}  // namespace tav::testing

#include "hosting/module_host.h"

#include "platform/module_loading.h"

namespace tav::devhost {
namespace {

// The plugin API version this host offers.
constexpr std::uint32_t kApiMajor = 18;
constexpr std::uint32_t kApiMinor = 0;
constexpr std::uint32_t kApiPatch = 0;

}  // namespace

ModuleHost::~ModuleHost() {
    shutdown();
    unload();
}

bool ModuleHost::load(const std::string& path, std::string& error) {
    handle_ = platform::openModule(path.c_str(), &error);
    if (handle_ == nullptr) {
        return false;
    }
    const auto entry = reinterpret_cast<TavLoadFunction>(
        platform::moduleFunction(handle_, "load_tav_champ_select"));
    if (entry == nullptr) {
        error = "load_tav_champ_select is not exported";
        unload();
        return false;
    }
    record_ = TavLoadRecord{};
    shutDown_ = false;
    record_.apiMajor = kApiMajor;
    record_.apiMinor = kApiMinor;
    record_.apiPatch = kApiPatch;
    entry(&record_);
    if (record_.callbacks == nullptr || record_.endpointTable == nullptr) {
        error = "the module filled no callbacks or no endpoint table";
        unload();
        return false;
    }
    return true;
}

bool ModuleHost::init(const TavPluginHost* host, void* hostContext) {
    if (record_.callbacks == nullptr) {
        return false;
    }
    init_ = TavInitRecord{host, hostContext};
    return record_.callbacks->init(record_.context, &init_) != 0;
}

void ModuleHost::shutdown() {
    if (!shutDown_ && record_.callbacks != nullptr) {
        record_.callbacks->shutdown(record_.context);
        shutDown_ = true;
    }
}

void ModuleHost::unload() {
    platform::closeModule(handle_);
    handle_ = nullptr;
    record_ = TavLoadRecord{};
}

}  // namespace tav::devhost

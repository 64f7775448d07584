#include "module_host.h"

#include "platform/module_loading.h"

namespace tav::testing {

ModuleHost::ModuleHost(const std::string& path, std::uint32_t major, std::uint32_t minor,
                       std::uint32_t patch) {
    record_.apiMajor = major;
    record_.apiMinor = minor;
    record_.apiPatch = patch;
    handle_ = platform::openModule(path.c_str(), &error_);
    if (handle_ == nullptr) {
        return;
    }
    entry_ = reinterpret_cast<TavLoadFunction>(
        platform::moduleFunction(handle_, "load_tav_champ_select"));
    if (entry_ == nullptr) {
        error_ = "load_tav_champ_select not exported";
    }
}

ModuleHost::~ModuleHost() {
    if (record_.callbacks != nullptr && !shutDown_) {
        shutdown();
    }
    if (handle_ != nullptr) {
        platform::closeModule(handle_);
    }
}

const TavLoadRecord& ModuleHost::load() {
    if (entry_ != nullptr) {
        entry_(&record_);
    }
    return record_;
}

bool ModuleHost::init() {
    init_ = host_.initRecord();
    return record_.callbacks != nullptr && record_.callbacks->init(record_.context, &init_) != 0;
}

void ModuleHost::shutdown() {
    if (record_.callbacks != nullptr && !shutDown_) {
        record_.callbacks->shutdown(record_.context);
        shutDown_ = true;
    }
}

void ModuleHost::memoryStats(std::uint32_t (&words)[14]) {
    if (record_.callbacks != nullptr) {
        record_.callbacks->memoryStats(record_.context, words);
    }
}

}  // namespace tav::testing

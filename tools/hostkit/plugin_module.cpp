#include "hostkit/plugin_module.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>

namespace tav::hostkit {
namespace {

constexpr int kToolBits = sizeof(void*) * 8;

// The word size of a module file of this system's format (ELF here, PE on
// Windows), read from its headers; none for anything else.
std::optional<int> moduleBits(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<unsigned char, 512> head{};
    file.read(reinterpret_cast<char*>(head.data()), head.size());
    const auto size = static_cast<std::size_t>(file.gcount());
#if defined(_WIN32)
    // The optional header's magic after "PE\0\0" and the 20-byte file
    // header: 0x10B for PE32, 0x20B for PE32+.
    if (size < 0x40 || head[0] != 'M' || head[1] != 'Z') {
        return std::nullopt;
    }
    const std::size_t pe = head[0x3C] | (head[0x3D] << 8);
    if (pe + 26 > size || std::memcmp(&head[pe], "PE\0\0", 4) != 0) {
        return std::nullopt;
    }
    const unsigned magic = head[pe + 24] | (head[pe + 25] << 8);
    return magic == 0x10B ? std::optional(32) : magic == 0x20B ? std::optional(64) : std::nullopt;
#else
    // e_ident's class byte: 1 for 32-bit, 2 for 64-bit objects.
    constexpr unsigned char kMagic[] = {0x7F, 'E', 'L', 'F'};
    if (size < 5 || std::memcmp(head.data(), kMagic, sizeof kMagic) != 0) {
        return std::nullopt;
    }
    return head[4] == 1 ? std::optional(32) : head[4] == 2 ? std::optional(64) : std::nullopt;
#endif
}

// The reason to give when the file at path failed to load for systemReason:
// the plain one when it is a module of this system for the other word size
// (dlopen says "wrong ELF class", LoadLibrary "not a valid Win32
// application"), systemReason otherwise.
std::string loadFailureReason(const std::string& path, const std::string& systemReason) {
    const std::optional<int> bits = moduleBits(path);
    if (!bits || *bits == kToolBits) {
        return systemReason;
    }
#if defined(_WIN32)
    const char* system = "windows";
#else
    const char* system = "linux";
#endif
    const std::string theirs = std::to_string(*bits);
    const std::string ours = std::to_string(kToolBits);
    return "it is a " + theirs + "-bit module; this tool is " + ours + "-bit and loads " + ours +
           "-bit modules: use the " + theirs + "-bit build's tool (build/" + system + "-" +
           (*bits == 32 ? "x86" : "x64") + "/...)";
}

}  // namespace

bool PluginModule::open(const std::string& path, std::string& error) {
    close();
    std::string reason;
    handle_ = platform::openModule(path.c_str(), &reason);
    if (handle_ == nullptr) {
        error = loadFailureReason(path, reason);
        return false;
    }
    entry_ = reinterpret_cast<TavLoadFunction>(
        platform::moduleFunction(handle_, "load_tav_champ_select"));
    if (entry_ == nullptr) {
        error = "load_tav_champ_select is not exported";
        close();
        return false;
    }
    return true;
}

const TavLoadRecord& PluginModule::callEntry(ApiVersion version) {
    record_ = TavLoadRecord{};
    shutDown_ = false;
    record_.apiMajor = version.major;
    record_.apiMinor = version.minor;
    record_.apiPatch = version.patch;
    if (entry_ != nullptr) {
        entry_(&record_);
    }
    return record_;
}

bool PluginModule::load(const std::string& path, std::string& error, ApiVersion version) {
    if (!open(path, error)) {
        return false;
    }
    callEntry(version);
    if (record_.callbacks == nullptr || record_.endpointTable == nullptr) {
        error = "the module filled no callbacks or no endpoint table";
        close();
        return false;
    }
    return true;
}

bool PluginModule::init(const TavPluginHost* host, void* hostContext) {
    if (record_.callbacks == nullptr) {
        return false;
    }
    init_ = TavInitRecord{host, hostContext};
    return record_.callbacks->init(record_.context, &init_) != 0;
}

void PluginModule::shutdown() {
    if (!shutDown_ && record_.callbacks != nullptr) {
        record_.callbacks->shutdown(record_.context);
        shutDown_ = true;
    }
}

void PluginModule::memoryStats(std::uint32_t (&words)[14]) const {
    if (record_.callbacks != nullptr) {
        record_.callbacks->memoryStats(record_.context, words);
    }
}

void PluginModule::close() {
    shutdown();
    platform::closeModule(handle_);
    handle_ = nullptr;
    entry_ = nullptr;
    record_ = TavLoadRecord{};
}

}  // namespace tav::hostkit

#include "hosting/module_copy.h"

#include <filesystem>
#include <system_error>

#include "platform/system_random.h"
#include "text/string_utils.h"

namespace tav::devhost {
namespace {

namespace fs = std::filesystem;

// The extension stays last: LoadLibrary appends ".dll" to a name without one.
std::string copyPrefix(const fs::path& module) {
    return module.stem().string() + ".devhost-";
}

}  // namespace

bool ModuleCopy::make(const std::string& path, std::string& error) {
    remove();
    unsigned char random[6];
    if (!platform::systemRandom(random, sizeof random)) {
        error = "the system's random source failed";
        return false;
    }
    const fs::path module(path);
    fs::path copy = module;
    copy.replace_filename(copyPrefix(module) + lowerHex({random, sizeof random}) +
                          module.extension().string());
    std::error_code ec;
    if (!fs::copy_file(module, copy, fs::copy_options::overwrite_existing, ec)) {
        error = "cannot copy it to " + copy.string() + ": " + ec.message();
        fs::remove(copy, ec);
        return false;
    }
    path_ = copy.string();
    return true;
}

void ModuleCopy::remove() {
    std::error_code ec;
    if (!path_.empty() && (fs::remove(path_, ec) || !fs::exists(path_, ec))) {
        path_.clear();
    }
}

void removeStaleCopies(const std::string& path) {
    const fs::path module(path);
    const std::string prefix = copyPrefix(module);
    const std::string extension = module.extension().string();
    std::error_code ec;
    const fs::path folder = module.has_parent_path() ? module.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(extension)) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

}  // namespace tav::devhost

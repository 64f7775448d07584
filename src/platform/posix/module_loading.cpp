#include "platform/module_loading.h"

#include <dlfcn.h>

namespace tav::platform {

ModuleHandle openModule(const char* path, std::string* error) {
    ModuleHandle module = path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (module == nullptr && error != nullptr) {
        const char* why = path != nullptr ? dlerror() : "no module path";
        *error = why != nullptr ? why : "dlopen failed";
    }
    return module;
}

ModuleFunction moduleFunction(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<ModuleFunction>(dlsym(module, name));
}

void closeModule(ModuleHandle module) {
    if (module != nullptr) {
        dlclose(module);
    }
}

}  // namespace tav::platform

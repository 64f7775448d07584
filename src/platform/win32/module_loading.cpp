#include "platform/module_loading.h"

#include <windows.h>

namespace tav::platform {
namespace {

// The system's message for a failed load, with the code for reference.
std::string describeError(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return message + " (error " + std::to_string(code) + ")";
}

}  // namespace

ModuleHandle openModule(const char* path, std::string* error) {
    HMODULE module = path != nullptr ? LoadLibraryA(path) : nullptr;
    if (module == nullptr && error != nullptr) {
        *error = path != nullptr ? describeError(GetLastError()) : "no module path";
    }
    return reinterpret_cast<ModuleHandle>(module);
}

ModuleFunction moduleFunction(ModuleHandle module, const char* name) {
    if (module == nullptr || name == nullptr) {
        return nullptr;
    }
    // FARPROC's return type differs from ModuleFunction's; go through void(*)()
    // as the generic function pointer GCC accepts without a warning.
    return reinterpret_cast<ModuleFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(static_cast<HMODULE>(module), name)));
}

void closeModule(ModuleHandle module) {
    if (module != nullptr) {
        FreeLibrary(static_cast<HMODULE>(module));
    }
}

}  // namespace tav::platform

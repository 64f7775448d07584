// Loading a library at run time and finding its exported functions
// (LoadLibraryA/GetProcAddress on Windows, dlopen/dlsym on POSIX).
#pragma once

#include <string>

namespace tav::platform {

// The system's handle of a loaded library; nullptr when none.
using ModuleHandle = void*;

// An exported function before it is cast to its real type; this type
// converts to any function pointer without a cast-function-type warning.
using ModuleFunction = void (*)();

// Loads the library at path and resolves its references at once. Returns
// nullptr on failure and then puts the system's reason into error, if given.
ModuleHandle openModule(const char* path, std::string* error = nullptr);

// The exported function called name; nullptr when the library has none.
ModuleFunction moduleFunction(ModuleHandle module, const char* name);

// Releases a handle from openModule; nullptr is ignored.
void closeModule(ModuleHandle module);

}  // namespace tav::platform

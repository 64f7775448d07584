#include "platform/event_tracing.h"

#include <windows.h>

namespace tav::platform {
namespace {

// GetProcAddress's FARPROC to the real type, through the generic function
// pointer so that the conversion draws no cast-function-type warning.
template <typename Function>
bool resolve(HMODULE library, const char* name, Function& function) {
    function =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    return function != nullptr;
}

}  // namespace

// Looked up at run time so that the module loads where the system has no
// event tracing. The library stays loaded for the life of the process: the
// registrations call back into it until they are undone at unload.
bool loadEventTracing(EventTracingFunctions& functions) {
    HMODULE library = LoadLibraryW(L"Advapi32.dll");
    if (library == nullptr) {
        return false;
    }
    EventTracingFunctions found{};
    if (!resolve(library, "EventRegister", found.eventRegister) ||
        !resolve(library, "EventWrite", found.eventWrite) ||
        !resolve(library, "EventUnregister", found.eventUnregister)) {
        FreeLibrary(library);
        return false;
    }
    functions = found;
    return true;
}

}  // namespace tav::platform

#include "platform/event_tracing.h"

namespace tav::platform {

// POSIX systems have no such service: behave as a Windows system on which
// Advapi32.dll cannot be loaded.
bool loadEventTracing(EventTracingFunctions& /*functions*/) {
    return false;
}

}  // namespace tav::platform

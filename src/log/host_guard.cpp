#include "log/host_guard.h"

#include "log/log_manager.h"
#include "log/log_record.h"

namespace tav::detail {

void logEscapedException(const GuardedCall& call, const char* what) noexcept {
    // The line is formatted into the logger's stack buffer: it still gets out
    // when the exception was a failed allocation.
    // The first line of a process may create the manager, which allocates.
    try {
        Log(LogLevel::Error, static_cast<std::uint32_t>(LogCategory::General), 0,
            "%s%s%s: caught exception at the host boundary: %s", call.name,
            call.subject != nullptr ? " " : "", call.subject != nullptr ? call.subject : "", what);
    } catch (...) {
    }
}

}  // namespace tav::detail

// Prints a few lines through the log manager and the message formatter, the
// way the plugin does at run time. A later version hosts the plugin module.
#include <cstdint>
#include <cstdio>
#include <string>

#include "diag/allocation.h"
#include "diag/clock.h"
#include "log/console_targets.h"
#include "log/log_categories.h"
#include "log/log_manager.h"
#include "log/log_target.h"
#include "text/base64.h"
#include "text/message.h"

int main() {
    using namespace tav;
    LogManager::AddReference();
    const std::uint64_t local = registerLogCategory("LOC");

    // Show every level on standard output only, with time and categories.
    LogManager::StdErr()->Unregister();
    LogManager::Debugger()->Unregister();
    LogTargetSettings settings;
    settings.level = LogLevel::Okay;
    settings.includedCategories = 0;
    settings.excludedCategories = 0;
    settings.format = "#D| #L| #G| #M";
    Configure(*LogManager::StdOut(), settings);
    LogManager::SetMinimumLevel(LogLevel::Okay);

    const auto low = [](std::uint64_t mask) { return static_cast<std::uint32_t>(mask); };
    const auto high = [](std::uint64_t mask) { return static_cast<std::uint32_t>(mask >> 32); };
    Log(LogLevel::Okay, low(local), high(local), "Loading %s version %d.%d.%d", "tav-champ-select",
        18, 0, 0);
    Log(LogLevel::Warn, low(LogCategory::General), 0, "No active delegate");
    Log(LogLevel::Error, low(LogCategory::Network | LogCategory::General), 0,
        "Error response for %s %s: %s", "GET", "/tav-champ-select-legacy/v1/session", "Not Found");

    const std::string messages[] = {
        makeMessage("Value %1 for '%2' of type %3 is out of range", "300", "championId", "int8"),
        makeMessage("%2 %1", "world", "hello"),
        makeMessage("%5 items", 7),
        makeMessage("%1 (%2)", "boom", 5),
        makeMessage("base64 of 'abc' is %1",
                    base64Encode(reinterpret_cast<const std::uint8_t*>("abc"), 3)),
    };
    for (const std::string& message : messages) {
        Log(LogLevel::Always, 0, 0, "%s", message.c_str());
    }

    const diag::AllocationCounters counters = diag::readAllocationCounters();
    Log(LogLevel::Okay, low(LogCategory::Memory), 0,
        "uptime %.3f s, %llu allocations counted, %llu bytes live", diag::uptimeSeconds(),
        static_cast<unsigned long long>(counters.allocations),
        static_cast<unsigned long long>(counters.liveBytes()));
    std::printf("warnings: %llu, errors: %llu\n",
                static_cast<unsigned long long>(LogManager::WarningCount()),
                static_cast<unsigned long long>(LogManager::ErrorCount()));
    LogManager::Release();
    return 0;
}

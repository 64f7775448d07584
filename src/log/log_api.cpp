#include "log/log_api.h"

#include "log/console_targets.h"
#include "log/log_categories.h"
#include "log/log_format.h"
#include "log/log_manager.h"

namespace tav {
namespace {

template <class Target>
LogTargetInterface* interfaceOf(Target* target) {
    return target != nullptr ? target->Interface() : nullptr;
}

constinit const LogApi kLogApi = {
    [] { return kLogApiVersion; },
    [] { return LogManager::AddReference(); },
    [] { return LogManager::Release(); },
    [](std::int32_t level) { LogManager::SetMinimumLevel(level); },
    [] { return LogManager::MinimumLevel(); },
    [](std::uint32_t low, std::uint32_t high) {
        LogManager::SetExcludedCategories((static_cast<std::uint64_t>(high) << 32) | low);
    },
    [] { return LogManager::ExcludedCategories(); },
    [] { LogManager::Disable(); },
    [] { LogManager::Enable(); },
    [] { LogManager::SetVerbose(true); },
    [] { LogManager::SetVerbose(false); },
    [](LogTargetInterface* target) { return LogManager::AddTarget(target); },
    [](LogTargetInterface* target) { LogManager::RemoveTarget(target); },
    [](const char* name) { return LogManager::FindTarget(name); },
    [] { return interfaceOf(LogManager::StdOut()); },
    [] { return interfaceOf(LogManager::StdErr()); },
    [] { return interfaceOf(LogManager::Debugger()); },
    [](const char* code) { return registerLogCategory(code); },
    [](std::uint64_t mask, char* buffer, std::size_t size) {
        return logCategoryNames(mask, buffer, size);
    },
    [](char* buffer, std::size_t size, const char* format, const LogRecord* record) {
        if (record == nullptr) {
            return formatLogLine(buffer, size, format, LogRecord{});
        }
        return formatLogLine(buffer, size, format, *record);
    },
    [](std::int32_t level) { return logLevelText(level); },
    [] { return logExecutableName(); },
    [](LogTime* time) {
        if (time != nullptr) {
            *time = currentLogTime();
        }
    },
    [](char* buffer, std::size_t size) { return formatTimestamp(buffer, size, currentLogTime()); },
    [](char* buffer, std::size_t size) {
        return formatTimestampWithoutMilliseconds(buffer, size, currentLogTime());
    },
    // The function itself, not a lambda around it: the lambda would lose the
    // printf attribute that lets the compiler check the pass-through.
    LogV,
};

}  // namespace

const LogApi* logApi() {
    return &kLogApi;
}

}  // namespace tav

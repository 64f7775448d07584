#include "log/log_target.h"

#include <mutex>
#include <type_traits>

#include "log/log_format.h"
#include "log/log_manager.h"

namespace tav {
namespace {

std::uint64_t joinHalves(std::uint32_t low, std::uint32_t high) {
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

// The table's operations forward to the C++ object that owns the table.
constinit const LogTargetInterface LogTarget::kOperations = {
    [](LogTargetInterface*) { return kLogTargetInterfaceVersion; },
    [](LogTargetInterface* self, std::int32_t level) { fromInterface(self).SetLevel(level); },
    [](LogTargetInterface* self) { return fromInterface(self).Level(); },
    [](LogTargetInterface* self, std::uint32_t includedLow, std::uint32_t includedHigh,
       std::uint32_t excludedLow, std::uint32_t excludedHigh) {
        fromInterface(self).SetCategories(joinHalves(includedLow, includedHigh),
                                          joinHalves(excludedLow, excludedHigh));
    },
    [](LogTargetInterface* self) { return fromInterface(self).IncludedCategories(); },
    [](LogTargetInterface* self) { return fromInterface(self).ExcludedCategories(); },
    [](LogTargetInterface* self) { return fromInterface(self).Name(); },
    [](LogTargetInterface* self) { return fromInterface(self).FormatText(); },
    [](LogTargetInterface* self) { fromInterface(self).Register(); },
    [](LogTargetInterface* self) { fromInterface(self).Unregister(); },
    [](LogTargetInterface* self) { return fromInterface(self).IsRegistered(); },
    [](LogTargetInterface* self, const LogRecord* record) {
        return record != nullptr && fromInterface(self).Write(*record);
    },
};

LogTarget& LogTarget::fromInterface(LogTargetInterface* self) {
    static_assert(std::is_standard_layout_v<BoundInterface>);
    return *reinterpret_cast<BoundInterface*>(self)->owner;
}

LogTarget::LogTarget() : interface_{kOperations, this}, format_(kDefaultLogFormat) {}

LogTarget::~LogTarget() {
    Unregister();
    LogManager::RemoveTarget(Interface());
}

void LogTarget::Unregister() {
    LogManager::Detach(*this);
}

const char* LogTarget::Name() const {
    return "LogTarget";
}

const char* LogTarget::FormatText() const {
    return format_.c_str();
}

bool LogTarget::Register() {
    return LogManager::Attach(*this);
}

void LogTarget::SetLevel(std::int32_t level) {
    std::lock_guard guard(lock_);
    level_ = level;
}

std::int32_t LogTarget::Level() const {
    std::lock_guard guard(lock_);
    return level_;
}

void LogTarget::SetCategories(std::uint64_t included, std::uint64_t excluded) {
    std::lock_guard guard(lock_);
    included_ = included;
    excluded_ = excluded;
}

std::uint64_t LogTarget::IncludedCategories() const {
    std::lock_guard guard(lock_);
    return included_;
}

std::uint64_t LogTarget::ExcludedCategories() const {
    std::lock_guard guard(lock_);
    return excluded_;
}

void LogTarget::SetFormatText(const char* format) {
    std::lock_guard guard(lock_);
    format_.assign(format != nullptr ? format : "");
}

std::size_t LogTarget::FormatLine(char* buffer, std::size_t size, const LogRecord& record) const {
    return formatLogLine(buffer, size, format_.c_str(), record);
}

bool logTargetAccepts(LogTargetInterface* target, std::int32_t level, std::uint64_t categories) {
    if (level < target->level(target)) {
        return false;
    }
    if (categories == 0) {
        return true;
    }
    if ((categories & target->excludedCategories(target)) != 0) {
        return false;
    }
    const std::uint64_t included = target->includedCategories(target);
    return included == 0 || (categories & included) != 0;
}

void Configure(LogTarget& target, const LogTargetSettings& settings) {
    target.Unregister();
    {
        std::lock_guard guard(target.Lock());
        target.SetLevel(settings.level);
        target.SetCategories(settings.includedCategories, settings.excludedCategories);
        if (settings.format != nullptr) {
            target.SetFormatText(settings.format);
        }
    }
    target.Register();
    target.SetLevel(settings.level);
}

}  // namespace tav

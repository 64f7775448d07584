#include "log/log_manager.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "diag/allocation.h"
#include "log/console_targets.h"
#include "log/log_format.h"

namespace tav {
namespace {

// All constant-initialised with trivial destruction: nothing here depends on
// the order of static construction, and process exit never tears the manager
// down under a late logger.
constinit std::atomic<LogManager*> gManager{nullptr};
// Threads currently inside a manager function; the last Release waits for
// them before freeing the manager it has just withdrawn.
constinit std::atomic<std::uint32_t> gUsers{0};
// Guards creation, withdrawal and the reference count. Created on first use:
// std::mutex is not constant-initialisable everywhere (MinGW's winpthreads
// initialiser is a cast), and its destruction is trivial.
std::mutex& lifecycleMutex() {
    static std::mutex mutex;
    return mutex;
}
constinit std::uint32_t gReferences = 0;

constexpr const char* kConsoleFormat = "#E(#T): #L| #M";

// The framework creates its objects through its counted allocation functions.
template <class T>
T* createObject() {
    void* block = diag::allocate(sizeof(T));
    return block != nullptr ? new (block) T() : nullptr;
}

template <class T>
void destroyObject(T* object) {
    if (object != nullptr) {
        object->~T();
        diag::deallocate(object);
    }
}

}  // namespace

// Keeps the current manager alive for the duration of one call.
class LogManager::Use {
public:
    explicit Use(bool create) {
        gUsers.fetch_add(1);
        manager_ = gManager.load();
        if (manager_ == nullptr && create) {
            std::lock_guard guard(lifecycleMutex());
            manager_ = createLocked();
        }
    }
    ~Use() { gUsers.fetch_sub(1); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    explicit operator bool() const { return manager_ != nullptr; }
    LogManager* operator->() const { return manager_; }

private:
    LogManager* manager_ = nullptr;
};

LogManager* LogManager::createLocked() {
    if (LogManager* existing = gManager.load(); existing != nullptr) {
        return existing;
    }
    void* block = diag::allocate(sizeof(LogManager));
    LogManager* manager = block != nullptr ? new (block) LogManager() : nullptr;
    gManager.store(manager);
    return manager;
}

LogManager::LogManager() {
    detail::loadLogExecutableName();

    // A built-in target that cannot be allocated is simply missing.
    stdErr_ = createObject<StdErrLogTarget>();
    if (stdErr_ != nullptr) {
        stdErr_->SetFormatText(kConsoleFormat);
        stdErr_->SetCategories(LogCategory::Debug, LogCategory::General);
        stdErr_->SetLevel(LogLevel::Warn);
        attachAtStart(*stdErr_);
    }
    stdOut_ = createObject<StdOutLogTarget>();
    if (stdOut_ != nullptr) {
        stdOut_->SetFormatText("#M");
        stdOut_->SetCategories(LogCategory::General, LogCategory::Debug);
        stdOut_->SetLevel(LogLevel::Warn);
        stdOut_->SetFlushAfterWrite(false);
    }
    debugger_ = createObject<DebuggerConsoleLogTarget>();
    if (debugger_ != nullptr) {
        debugger_->SetFormatText(kConsoleFormat);
        debugger_->SetCategories(LogCategory::Debug, 0);
        debugger_->SetLevel(LogLevel::Warn);
        attachAtStart(*debugger_);
    }
}

LogManager::~LogManager() {
    // Through each target's own table, so that targets of other modules clear
    // their registered state too. The manager is already withdrawn, so their
    // unregistering does not come back to this list.
    decltype(targets_) registered;
    registered.swap(targets_);
    for (LogTargetInterface* target : registered) {
        target->unregisterTarget(target);
    }
    destroyObject(stdErr_);
    destroyObject(stdOut_);
    destroyObject(debugger_);
}

void LogManager::attachAtStart(LogTarget& target) {
    if (append(target.Interface())) {
        target.registered_.store(true);
    }
}

// Registering is not the logging path: the list may allocate here, and a
// list that cannot grow refuses the target instead of throwing.
bool LogManager::append(LogTargetInterface* target) {
    try {
        targets_.push_back(target);
    } catch (...) {
        return false;
    }
    return true;
}

void LogManager::removeAll(LogTargetInterface* target) {
    std::erase(targets_, target);
}

std::uint32_t LogManager::AddReference() {
    std::lock_guard guard(lifecycleMutex());
    if (createLocked() == nullptr) {
        return 0;
    }
    return ++gReferences;
}

std::uint32_t LogManager::Release() {
    LogManager* retired = nullptr;
    std::uint32_t remaining = 0;
    {
        std::lock_guard guard(lifecycleMutex());
        if (gReferences == 0) {
            return 0;
        }
        remaining = --gReferences;
        if (remaining == 0) {
            retired = gManager.exchange(nullptr);
        }
    }
    if (retired != nullptr) {
        // Calls that started before the withdrawal may still hold it; calls
        // after it see no manager (or a new one).
        while (gUsers.load() != 0) {
            std::this_thread::yield();
        }
        retired->~LogManager();
        diag::deallocate(retired);
    }
    return remaining;
}

bool LogManager::Exists() {
    return gManager.load() != nullptr;
}

void LogManager::SetMinimumLevel(std::int32_t level) {
    if (Use manager{true}) {
        manager->minimumLevel_.store(level);
    }
}

std::int32_t LogManager::MinimumLevel() {
    Use manager{false};
    return manager ? manager->minimumLevel_.load() : kDefaultMinimumLevel;
}

void LogManager::SetExcludedCategories(std::uint64_t categories) {
    if (Use manager{true}) {
        manager->excluded_.store(categories);
    }
}

std::uint64_t LogManager::ExcludedCategories() {
    Use manager{false};
    return manager ? manager->excluded_.load() : kDefaultExcludedCategories;
}

void LogManager::Disable() {
    if (Use manager{true}) {
        manager->disabled_.store(true);
    }
}

void LogManager::Enable() {
    if (Use manager{true}) {
        manager->disabled_.store(false);
    }
}

void LogManager::SetVerbose(bool verbose) {
    if (Use manager{true}) {
        manager->verbose_.store(verbose);
    }
}

bool LogManager::IsVerbose() {
    Use manager{false};
    return manager && manager->verbose_.load();
}

bool LogManager::AddTarget(LogTargetInterface* target) {
    if (target == nullptr) {
        return false;
    }
    Use manager{true};
    if (!manager) {
        return false;
    }
    std::lock_guard guard(manager->lock_);
    return manager->append(target);
}

void LogManager::RemoveTarget(LogTargetInterface* target) {
    if (Use manager{false}) {
        std::lock_guard guard(manager->lock_);
        manager->removeAll(target);
    }
}

LogTargetInterface* LogManager::FindTarget(const char* name) {
    Use manager{false};
    if (!manager || name == nullptr) {
        return nullptr;
    }
    std::lock_guard guard(manager->lock_);
    for (std::size_t i = 0; i < manager->targets_.size(); ++i) {
        LogTargetInterface* target = manager->targets_[i];
        const char* targetName = target->name(target);
        if (targetName != nullptr && std::strcmp(targetName, name) == 0) {
            return target;
        }
    }
    return nullptr;
}

std::size_t LogManager::TargetCount() {
    Use manager{false};
    if (!manager) {
        return 0;
    }
    std::lock_guard guard(manager->lock_);
    return manager->targets_.size();
}

StdErrLogTarget* LogManager::StdErr() {
    Use manager{true};
    return manager ? manager->stdErr_ : nullptr;
}

StdOutLogTarget* LogManager::StdOut() {
    Use manager{true};
    return manager ? manager->stdOut_ : nullptr;
}

DebuggerConsoleLogTarget* LogManager::Debugger() {
    Use manager{true};
    return manager ? manager->debugger_ : nullptr;
}

std::uint64_t LogManager::WarningCount() {
    Use manager{false};
    if (!manager) {
        return 0;
    }
    std::lock_guard guard(manager->lock_);
    return manager->warnings_;
}

std::uint64_t LogManager::ErrorCount() {
    Use manager{false};
    if (!manager) {
        return 0;
    }
    std::lock_guard guard(manager->lock_);
    return manager->errors_;
}

bool LogManager::Attach(LogTarget& target) {
    Use manager{true};
    if (!manager) {
        return false;
    }
    std::lock_guard guard(manager->lock_);
    if (target.registered_.load()) {
        return true;
    }
    if (!manager->append(target.Interface())) {
        return false;
    }
    target.registered_.store(true);
    return true;
}

void LogManager::Detach(LogTarget& target) {
    Use manager{false};
    if (!manager) {
        target.registered_.store(false);
        return;
    }
    std::lock_guard guard(manager->lock_);
    if (target.registered_.exchange(false)) {
        manager->removeAll(target.Interface());
    }
}

void LogManager::LogV(std::int32_t level, std::uint64_t categories, const char* format,
                      std::va_list arguments) {
    Use manager{true};
    if (!manager) {
        return;
    }
    if (manager->disabled_.load() || level < manager->minimumLevel_.load() ||
        (categories & manager->excluded_.load()) != 0) {
        return;
    }

    char message[kLogMessageCapacity];
    message[0] = '\0';
    if (format != nullptr && std::vsnprintf(message, sizeof message, format, arguments) < 0) {
        message[0] = '\0';
    }

    const LogTime now = currentLogTime();
    const LogRecord record{now.year,
                           now.month,
                           now.day,
                           now.hour,
                           now.minute,
                           now.second,
                           now.millisecond,
                           level,
                           static_cast<std::uint32_t>(categories),
                           static_cast<std::uint32_t>(categories >> 32),
                           message};
    manager->dispatch(level, categories, record);
}

void LogManager::dispatch(std::int32_t level, std::uint64_t categories, const LogRecord& record) {
    // One lock for the whole line: every target sees lines in one global
    // order, and no two lines interleave in any target.
    std::lock_guard guard(lock_);
    if (level == LogLevel::Warn) {
        ++warnings_;
    } else if (level == LogLevel::Error) {
        ++errors_;
    }
    // By index: a target's Write may (un)register targets on this thread.
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        LogTargetInterface* target = targets_[i];
        if (logTargetAccepts(target, level, categories)) {
            target->write(target, &record);
        }
    }
}

void Log(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh, const char* format,
         ...) {
    std::va_list arguments;
    va_start(arguments, format);
    LogV(level, maskLow, maskHigh, format, arguments);
    va_end(arguments);
}

void LogV(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh, const char* format,
          std::va_list arguments) {
    LogManager::LogV(level, (static_cast<std::uint64_t>(maskHigh) << 32) | maskLow, format,
                     arguments);
}

void Trace(const char* /*format*/, ...) {}

}  // namespace tav

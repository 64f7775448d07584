// Log targets. LogTargetInterface is the C table through which the manager
// sees every target, whatever module it lives in; LogTarget is the C++ base
// that carries such a table, its filter settings and its lock. Derive from
// LogTarget and implement Write (and Name) to add a destination.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "diag/allocation.h"
#include "log/log_record.h"
#include "platform/critical_section.h"

namespace tav {

inline constexpr std::uint32_t kLogTargetInterfaceVersion = 1;

// The twelve operations of a target, in table order. Every operation gets the
// table itself as `self`; a target from another module embeds the table at
// the start of its own object and finds itself from it. Any thread may call
// any operation; the target guards its state with its own lock.
struct LogTargetInterface {
    std::uint32_t (*interfaceVersion)(LogTargetInterface* self);  // 1
    void (*setLevel)(LogTargetInterface* self, std::int32_t level);
    std::int32_t (*level)(LogTargetInterface* self);
    void (*setCategories)(LogTargetInterface* self, std::uint32_t includedLow,
                          std::uint32_t includedHigh, std::uint32_t excludedLow,
                          std::uint32_t excludedHigh);
    std::uint64_t (*includedCategories)(LogTargetInterface* self);
    std::uint64_t (*excludedCategories)(LogTargetInterface* self);
    // Texts owned by the target, valid while it lives and its format is not
    // changed.
    const char* (*name)(LogTargetInterface* self);
    const char* (*formatText)(LogTargetInterface* self);
    // Register with the process's log manager when not registered yet; takes
    // the manager lock, so never call it while holding the target lock.
    void (*registerTarget)(LogTargetInterface* self);
    void (*unregisterTarget)(LogTargetInterface* self);
    bool (*isRegistered)(LogTargetInterface* self);
    // Called by the manager with its lock held; the record is valid only for
    // the call. Returns true when the line was written.
    bool (*write)(LogTargetInterface* self, const LogRecord* record);
};

static_assert(sizeof(LogTargetInterface) == 12 * sizeof(void*));

// Everything Configure sets in one step. A null format keeps the current one.
struct LogTargetSettings {
    std::int32_t level = LogLevel::Warn;
    std::uint64_t includedCategories = 0;
    std::uint64_t excludedCategories = 0;
    const char* format = nullptr;
};

class LogTarget {
public:
    LogTarget();
    // Unregisters, then makes sure the manager holds no pointer to this
    // target even when it was added through the Log API's table directly.
    // A derived class whose Write may still be running on another thread
    // must call Unregister() in its own destructor, before its members go.
    virtual ~LogTarget();
    LogTarget(const LogTarget&) = delete;
    LogTarget& operator=(const LogTarget&) = delete;

    virtual void Unregister();
    virtual const char* Name() const;
    virtual const char* FormatText() const;
    virtual bool Write(const LogRecord& record) = 0;

    // Registers with the process's log manager (creating it when needed).
    // Returns whether the target is registered afterwards: false only when
    // the manager could not be created or its target list is full.
    bool Register();
    bool IsRegistered() const { return registered_.load(std::memory_order_acquire); }

    void SetLevel(std::int32_t level);
    std::int32_t Level() const;
    void SetCategories(std::uint64_t included, std::uint64_t excluded);
    std::uint64_t IncludedCategories() const;
    std::uint64_t ExcludedCategories() const;
    // A null format is the empty one. Throws std::bad_alloc when a long
    // format finds no memory, keeping the old one.
    void SetFormatText(const char* format);

    // The table the manager knows this target by.
    LogTargetInterface* Interface() { return &interface_.table; }

protected:
    // Guards the settings and the write; recursive. Lock order: the
    // manager's lock first, then a target's.
    platform::CriticalSection& Lock() const { return lock_; }

    // Formats `record` by this target's format; call with Lock() held.
    std::size_t FormatLine(char* buffer, std::size_t size, const LogRecord& record) const;

private:
    friend class LogManager;
    friend void Configure(LogTarget& target, const LogTargetSettings& settings);

    // Standard layout with the table first, so `self` converts back to it.
    struct BoundInterface {
        LogTargetInterface table;
        LogTarget* owner;
    };
    static LogTarget& fromInterface(LogTargetInterface* self);
    static const LogTargetInterface kOperations;

    BoundInterface interface_;
    // Changed only under the manager lock, so that it always matches the
    // manager's list.
    std::atomic<bool> registered_{false};
    mutable platform::CriticalSection lock_;
    std::int32_t level_ = LogLevel::Warn;
    std::uint64_t included_ = 0;
    std::uint64_t excluded_ = 0;
    // Kept whole, however long; the default and the usual formats fit without
    // a heap block.
    std::basic_string<char, std::char_traits<char>, diag::CountingAllocator<char>> format_;
};

// Whether the manager hands a line of `level` with `categories` to `target`:
// not below its level, and unless the mask is 0, no excluded bit and (when it
// includes any) at least one included bit.
bool logTargetAccepts(LogTargetInterface* target, std::int32_t level, std::uint64_t categories);

// Unregisters `target`, sets all of `settings` under its lock, registers it
// again, then sets the level once more. Leaves the target registered.
void Configure(LogTarget& target, const LogTargetSettings& settings);

}  // namespace tav

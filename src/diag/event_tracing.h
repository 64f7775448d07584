// The process's event-tracing providers: four providers registered at load
// with the system's event tracing (where the system has it), each following
// the manifest-based enable rule, and the main thread's name event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/event_tracing.h"

namespace tav::diag {

struct TraceEvent {
    platform::EventDescriptor descriptor;
    bool enabled = false;
};

struct TraceProvider {
    const char* name;
    platform::Guid id;
    std::span<TraceEvent> events;
    platform::TraceRegistration handle = 0;
    bool registered = false;
    bool enabled = false;
    std::uint8_t level = 0;
    std::uint64_t matchAnyKeyword = 0;
    std::uint64_t matchAllKeyword = 0;
};

// Applies an enable or disable notification to a provider and its events.
void applyEnableNotification(TraceProvider& provider, bool enable, std::uint8_t level,
                             std::uint64_t matchAnyKeyword, std::uint64_t matchAllKeyword);

// The callback registered for every provider; context is its TraceProvider.
void TAV_WINAPI traceEnableCallback(const platform::Guid* source, std::uint32_t isEnabled,
                                    std::uint8_t level, std::uint64_t matchAnyKeyword,
                                    std::uint64_t matchAllKeyword, const void* filter,
                                    void* context);

enum class TracingState { Stopped, NotAvailable, Active };

// "stopped", "not available" or "active".
const char* tracingStateName(TracingState state);

class EventTracing {
public:
    static constexpr std::size_t kProviderCount = 4;
    static constexpr std::size_t kThreadProvider = 1;

    EventTracing();
    ~EventTracing();
    EventTracing(const EventTracing&) = delete;
    EventTracing& operator=(const EventTracing&) = delete;

    // At load: registers the providers with the system's functions, when the
    // system has them, and names the main thread. Returns the new state.
    TracingState start();
    // The same with given functions (another tracing back end, or a test's).
    TracingState start(const platform::EventTracingFunctions& functions);
    // At unload: unregisters every registered provider.
    void stop();

    TracingState state() const { return state_; }
    TraceProvider& provider(std::size_t index) { return providers_[index]; }

    // Writes the thread-name event of the thread provider when enabled; a
    // missing name is sent as "NULL". Returns true when an event was written.
    bool writeThreadName(std::uintptr_t threadId, const char* name);

private:
    TraceEvent frameworkEvents_[1];
    TraceEvent threadEvents_[1];
    TraceEvent logEvents_[1];
    TraceEvent memoryEvents_[1];
    TraceProvider providers_[kProviderCount];
    platform::EventTracingFunctions functions_{};
    TracingState state_ = TracingState::Stopped;
};

// The process-wide instance, created on first use.
EventTracing& eventTracing();

}  // namespace tav::diag

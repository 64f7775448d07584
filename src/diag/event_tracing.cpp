#include "diag/event_tracing.h"

#include <cstring>

#include "diag/clock.h"
#include "platform/clock.h"
#include "platform/process_info.h"

namespace tav::diag {
namespace {

constexpr std::uint8_t kLevelInformation = 4;
constexpr std::uint8_t kLevelVerbose = 5;

constexpr platform::EventDescriptor event(std::uint16_t id, std::uint8_t level,
                                          std::uint64_t keyword) {
    return platform::EventDescriptor{id, 0, 0, level, 0, 0, keyword};
}

bool eventEnabledFor(const TraceProvider& provider, const platform::EventDescriptor& d) {
    const bool levelMatches = provider.level == 0 || d.level <= provider.level;
    const bool keywordMatches =
        d.keyword == 0 || ((d.keyword & provider.matchAnyKeyword) != 0 &&
                           (d.keyword & provider.matchAllKeyword) == provider.matchAllKeyword);
    return levelMatches && keywordMatches;
}

std::uint64_t addressOf(const void* p) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p));
}

}  // namespace

void applyEnableNotification(TraceProvider& provider, bool enable, std::uint8_t level,
                             std::uint64_t matchAnyKeyword, std::uint64_t matchAllKeyword) {
    if (!enable) {
        provider.enabled = false;
        provider.level = 0;
        provider.matchAnyKeyword = 0;
        provider.matchAllKeyword = 0;
        for (TraceEvent& e : provider.events) {
            e.enabled = false;
        }
        return;
    }
    provider.level = level;
    provider.matchAnyKeyword = matchAnyKeyword;
    provider.matchAllKeyword = matchAllKeyword;
    provider.enabled = true;
    for (TraceEvent& e : provider.events) {
        e.enabled = eventEnabledFor(provider, e.descriptor);
    }
}

void TAV_WINAPI traceEnableCallback(const platform::Guid* /*source*/, std::uint32_t isEnabled,
                                    std::uint8_t level, std::uint64_t matchAnyKeyword,
                                    std::uint64_t matchAllKeyword, const void* /*filter*/,
                                    void* context) {
    if (context == nullptr) {
        return;
    }
    // 0 disables, 1 enables; other commands (such as capture state) change nothing.
    if (isEnabled == 0 || isEnabled == 1) {
        applyEnableNotification(*static_cast<TraceProvider*>(context), isEnabled == 1, level,
                                matchAnyKeyword, matchAllKeyword);
    }
}

const char* tracingStateName(TracingState state) {
    switch (state) {
        case TracingState::Stopped:
            return "stopped";
        case TracingState::NotAvailable:
            return "not available";
        case TracingState::Active:
            return "active";
    }
    return "";
}

EventTracing::EventTracing()
    : frameworkEvents_{{event(1, kLevelInformation, 0x1)}},
      threadEvents_{{event(1, kLevelInformation, 0)}},
      logEvents_{{event(1, kLevelVerbose, 0x2)}},
      memoryEvents_{{event(1, kLevelVerbose, 0x4)}},
      providers_{
          {"Tav-Framework",
           {0x6c1f0a51, 0x3b2e, 0x4d8a, {0x9e, 0x41, 0x27, 0x5b, 0x80, 0x1d, 0xc3, 0x01}},
           frameworkEvents_},
          {"Tav-Threads",
           {0x6c1f0a52, 0x3b2e, 0x4d8a, {0x9e, 0x41, 0x27, 0x5b, 0x80, 0x1d, 0xc3, 0x02}},
           threadEvents_},
          {"Tav-Log",
           {0x6c1f0a53, 0x3b2e, 0x4d8a, {0x9e, 0x41, 0x27, 0x5b, 0x80, 0x1d, 0xc3, 0x03}},
           logEvents_},
          {"Tav-Memory",
           {0x6c1f0a54, 0x3b2e, 0x4d8a, {0x9e, 0x41, 0x27, 0x5b, 0x80, 0x1d, 0xc3, 0x04}},
           memoryEvents_},
      } {}

EventTracing::~EventTracing() {
    stop();
}

TracingState EventTracing::start() {
    platform::EventTracingFunctions functions{};
    if (!platform::loadEventTracing(functions)) {
        stop();
        state_ = TracingState::NotAvailable;
        return state_;
    }
    return start(functions);
}

TracingState EventTracing::start(const platform::EventTracingFunctions& functions) {
    stop();
    (void)platform::performanceFrequency();  // event timestamps rely on it being known
    (void)uptimeSeconds();
    if (functions.eventRegister == nullptr || functions.eventWrite == nullptr ||
        functions.eventUnregister == nullptr) {
        state_ = TracingState::NotAvailable;
        return state_;
    }
    functions_ = functions;
    for (TraceProvider& p : providers_) {
        p.registered = functions_.eventRegister(&p.id, traceEnableCallback, &p, &p.handle) == 0;
    }
    state_ = TracingState::Active;
    writeThreadName(platform::currentThreadId(), "Main thread");
    return state_;
}

void EventTracing::stop() {
    if (state_ == TracingState::Active) {
        for (TraceProvider& p : providers_) {
            if (p.registered) {
                functions_.eventUnregister(p.handle);
            }
            p.registered = false;
            p.handle = 0;
            applyEnableNotification(p, false, 0, 0, 0);
        }
    }
    state_ = TracingState::Stopped;
}

bool EventTracing::writeThreadName(std::uintptr_t threadId, const char* name) {
    TraceProvider& p = providers_[kThreadProvider];
    if (state_ != TracingState::Active || !p.registered || !p.enabled) {
        return false;
    }
    const std::uint32_t id = static_cast<std::uint32_t>(threadId);
    const char* text = name != nullptr ? name : "NULL";
    platform::EventDataDescriptor data[2] = {
        {addressOf(&id), sizeof id, 0},
        {addressOf(text), static_cast<std::uint32_t>(std::strlen(text) + 1), 0},
    };
    return functions_.eventWrite(p.handle, &p.events[0].descriptor, 2, data) == 0;
}

EventTracing& eventTracing() {
    static EventTracing instance;
    return instance;
}

}  // namespace tav::diag

// The system's event tracing functions (EventRegister, EventWrite and
// EventUnregister of Advapi32.dll), loaded at run time so that a system
// without them still loads the plugin. Types mirror the Windows records.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define TAV_WINAPI __stdcall
#else
#define TAV_WINAPI
#endif

namespace tav::platform {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

struct EventDescriptor {
    std::uint16_t id;
    std::uint8_t version;
    std::uint8_t channel;
    std::uint8_t level;
    std::uint8_t opcode;
    std::uint16_t task;
    std::uint64_t keyword;
};

struct EventDataDescriptor {
    std::uint64_t pointer;  // address of the data, widened to 64 bits
    std::uint32_t size;
    std::uint32_t reserved;
};

using TraceRegistration = std::uint64_t;

using EventEnableCallback = void(TAV_WINAPI*)(const Guid* source, std::uint32_t isEnabled,
                                              std::uint8_t level, std::uint64_t matchAnyKeyword,
                                              std::uint64_t matchAllKeyword, const void* filter,
                                              void* context);

struct EventTracingFunctions {
    std::uint32_t(TAV_WINAPI* eventRegister)(const Guid* provider, EventEnableCallback callback,
                                             void* context, TraceRegistration* handle);
    std::uint32_t(TAV_WINAPI* eventWrite)(TraceRegistration handle,
                                          const EventDescriptor* descriptor, std::uint32_t count,
                                          EventDataDescriptor* data);
    std::uint32_t(TAV_WINAPI* eventUnregister)(TraceRegistration handle);
};

// Fills functions and returns true when the system offers event tracing;
// returns false (functions untouched) where it does not, as on POSIX.
bool loadEventTracing(EventTracingFunctions& functions);

}  // namespace tav::platform

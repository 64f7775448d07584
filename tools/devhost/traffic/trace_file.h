// A recorded trace: JSON Lines, the header first, then one entry a line
// (traffic_log.h, traffic_fields.h). docs/devhost-trace.md describes it
// for people who read or write traces with other tools.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"

namespace tav::devhost {

inline constexpr std::uint64_t kTraceFormat = 1;

// The header line: {"trace": kTraceFormat, "module": {"file", "size",
// "sha256", "version"}, "scenario", "tool"}.
BindingValue traceHeader(const std::string& modulePath, const TavLoadRecord& record,
                         const std::string& scenarioPath);

// "major.minor.patch" of a load record.
std::string moduleVersion(const TavLoadRecord& record);

struct TraceEntry {
    std::size_t line = 0;
    BindingValue value;
};

struct Trace {
    BindingValue header;
    std::vector<TraceEntry> entries;  // by seq
};

// Reads and checks a trace; false with "FILE:LINE: reason" in error.
bool readTrace(const std::string& path, Trace& trace, std::string& error);

}  // namespace tav::devhost

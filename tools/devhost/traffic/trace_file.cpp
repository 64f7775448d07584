#include "traffic/trace_file.h"

#include <algorithm>
#include <fstream>
#include <string_view>

#include "formats/json.h"
#include "tool_platform/file_digest.h"
#include "traffic/traffic_log.h"

namespace tav::devhost {
namespace {

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isNumber(const BindingValue& value) {
    return value.kind() == BindingValueKind::Unsigned ||
           (value.kind() == BindingValueKind::Signed && value.asInt64() >= 0);
}

// What is wrong with an entry, or empty.
std::string checkEntry(const BindingValue& entry) {
    if (entry.kind() != BindingValueKind::Structure) {
        return "an entry is a JSON object";
    }
    for (const char* member : {"seq", "time", "thread"}) {
        if (!isNumber(entry.find(member))) {
            return std::string("the entry has no number \"") + member + "\"";
        }
    }
    const BindingValue& kind = entry.find("kind");
    const std::optional<TrafficKind> known = trafficKindNamed(kind.asString());
    if (!known) {
        return "unknown entry kind " + writeJson(kind);
    }
    return missingTrafficMembers(*known, entry);
}

}  // namespace

std::string moduleVersion(const TavLoadRecord& record) {
    return std::to_string(record.apiMajor) + "." + std::to_string(record.apiMinor) + "." +
           std::to_string(record.apiPatch);
}

BindingValue traceHeader(const std::string& modulePath, const TavLoadRecord& record,
                         const std::string& scenarioPath) {
    BindingValue header;
    header.member("trace").setUInt64(kTraceFormat);
    BindingValue& module = header.member("module");
    module.member("file").setString(baseName(modulePath));
    std::ifstream file(modulePath, std::ios::binary | std::ios::ate);
    module.member("size").setUInt64(file ? static_cast<std::uint64_t>(file.tellg()) : 0);
    module.member("sha256").setString(tools::fileSha256(modulePath));
    module.member("version").setString(moduleVersion(record));
    header.member("scenario").setString(baseName(scenarioPath));
    header.member("tool").setString(TAV_VERSION);
    return header;
}

bool readTrace(const std::string& path, Trace& trace, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    const auto fail = [&](std::size_t line, const std::string& why) {
        error = path + ":" + std::to_string(line) + ": " + why;
        return false;
    };
    std::string text;
    std::size_t line = 0;
    while (std::getline(file, text)) {
        ++line;
        if (file.eof()) {
            // Every line a recording writes ends with its line feed.
            return fail(line, "the line is cut short (no line end): an unfinished recording");
        }
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        BindingResult read = readJson(text);
        if (!read) {
            return fail(line, "not JSON: " + std::string(read.error()));
        }
        if (line == 1) {
            const BindingValue& format = read.value.find("trace");
            if (read.value.kind() != BindingValueKind::Structure || !isNumber(format)) {
                return fail(line, "not a trace (its first line has no \"trace\" format)");
            }
            if (format.asUInt64() != kTraceFormat) {
                return fail(line, "trace format " + writeJson(format) + "; this tool reads " +
                                      std::to_string(kTraceFormat));
            }
            trace.header = std::move(read.value);
            continue;
        }
        if (std::string what = checkEntry(read.value); !what.empty()) {
            return fail(line, what);
        }
        trace.entries.push_back({line, std::move(read.value)});
    }
    if (line == 0) {
        return fail(1, "empty: not a trace");
    }
    // Entries are written as they are answered: an API request's number comes
    // before what it caused, its line after.
    std::stable_sort(trace.entries.begin(), trace.entries.end(),
                     [](const TraceEntry& a, const TraceEntry& b) {
                         return a.value.find("seq").asUInt64() < b.value.find("seq").asUInt64();
                     });
    return true;
}

}  // namespace tav::devhost

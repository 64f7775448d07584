// Every crossing of the host boundary as one entry: an API request and the
// module's answer, a request the module sent through the host and the answer
// it got, an event delivered to the module, an event it published, a
// subscription change and a log line. Each entry is one JSON object with
// "seq", "time" (microseconds since the tool started, monotonic), "thread",
// "kind", "cause" (the seq of the API request that caused it, if one did)
// and its kind's own members.
//
// The last kMaxEntries entries are kept, each cut to about kMaxEntryBytes
// (the members cut are named in "cut"), and go to the traffic stream; a
// recording gets every entry whole, one line each, flushed as it is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "binding/binding_value.h"
#include "traffic/traffic_kinds.h"

namespace tav::devhost {

class EventStream;

class TrafficLog {
public:
    static constexpr std::size_t kMaxEntries = 2000;
    static constexpr std::size_t kMaxEntryBytes = 16 * 1024;
    static constexpr std::size_t kDefaultListed = 200;

    // stream: where each kept entry goes as an event "traffic" (may be null).
    explicit TrafficLog(EventStream* stream = nullptr);
    ~TrafficLog();
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Starts writing every entry to path after the header line; false with
    // the reason in error.
    bool record(const std::string& path, const BindingValue& header, std::string& error);

    // A sequence number for an entry added later (an API request takes its
    // number when it arrives and is added when it is answered).
    std::uint64_t reserve();
    // entry: the kind's own members (a structure). seq 0 takes the next.
    void add(TrafficKind kind, BindingValue entry, std::uint64_t cause = 0, std::uint64_t seq = 0);

    // {"entries": [...], "capacity": kMaxEntries}: the last limit entries
    // (at most kMaxEntries), oldest first.
    std::string recent(std::size_t limit) const;

private:
    std::uint32_t threadNumber();

    mutable std::mutex mutex_;
    EventStream* stream_;
    std::uint64_t nextSeq_ = 1;
    std::deque<std::string> kept_;
    std::map<std::thread::id, std::uint32_t> threads_;
    std::FILE* file_ = nullptr;
    bool fileFailed_ = false;
};

// A request or answer body as a trace keeps it: "body" holds the value it
// reads as (by its content type, or JSON without one), "bodyText" the exact
// text when "body" would not give it back, "bodyBase64" bytes that are not
// text. Nothing for an empty body.
void putBody(BindingValue& into, std::string_view contentType, std::string_view bytes);
// The bytes putBody kept.
std::string bodyBytes(const BindingValue& from);

}  // namespace tav::devhost

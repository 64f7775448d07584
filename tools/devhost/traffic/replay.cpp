#include "traffic/replay.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "hosting/api_routing.h"
#include "hosting/host_slots.h"
#include "hostkit/plugin_module.h"
#include "simulation/simulation.h"
#include "tool_platform/fault_report.h"
#include "traffic/trace_file.h"
#include "traffic/traffic_fields.h"
#include "traffic/traffic_log.h"
#include "traffic/value_diff.h"

namespace tav::devhost {
namespace {

struct Step {
    const TraceEntry* input = nullptr;  // the api entry or the first event; null: Init
    std::vector<const TraceEntry*> eventsIn;
    std::vector<const TraceEntry*> published;
    std::vector<const TraceEntry*> logs;
};

struct Difference {
    std::uint64_t seq = 0;
    std::string where;
    std::string what;
    std::vector<std::string> details;
};

std::string where(const TraceEntry* entry) {
    if (entry == nullptr) {
        return "Init";
    }
    return "entry " + std::to_string(entry->value.find("seq").asUInt64()) + " (line " +
           std::to_string(entry->line) + ")";
}

std::string describeRequest(const BindingValue& request, const char* urlKey) {
    return std::string(request.find("method").asString()) + " " +
           std::string(request.find(urlKey).asString());
}

std::string describeEvent(const BindingValue& event) {
    std::string text(event.find("name").asString());
    if (const BindingValue* uri = event.find("payload").tryFind("uri")) {
        text.append(" (").append(uri->asString());
        if (const BindingValue* type = event.find("payload").tryFind("eventType")) {
            text.append(" ").append(type->asString());
        }
        text.push_back(')');
    }
    return text;
}

// An entry's own members, without what every entry has.
BindingValue withoutBookkeeping(const BindingValue& entry) {
    BindingValue own;
    for (const BindingMember& member : entry.members()) {
        const std::string_view key = member.key();
        if (key != "seq" && key != "time" && key != "thread" && key != "kind" && key != "cause") {
            own.member(key) = member.value();
        }
    }
    return own;
}

// What replay compares of an API answer.
BindingValue comparableAnswer(const BindingValue& answer) {
    BindingValue comparable;
    comparable.member("status") = answer.find("status");
    for (const char* key : {"contentType", "error", "stream", "body"}) {
        if (const BindingValue* value = answer.tryFind(key)) {
            comparable.member(key) = *value;
        }
    }
    return comparable;
}

class Replayer final : public HostServices {
public:
    Replayer(const ReplayOptions& options, Trace trace)
        : options_(options), trace_(std::move(trace)), slots_(*this) {}
    ~Replayer() override { stopWatching(); }
    Replayer(const Replayer&) = delete;
    Replayer& operator=(const Replayer&) = delete;

    int run();

private:
    void answerRequest(TavResponse& response, const TavRequest& request) override;
    void published(std::string_view name, const BindingValue& payload) override;
    void logLine(std::int32_t level, std::string_view text) override;

    void buildSteps();
    void runStep(std::size_t index);
    void compareOutputs(std::size_t index);
    // events: published events, else log lines.
    void compareList(const Step& step, const std::vector<const TraceEntry*>& recorded,
                     const std::vector<BindingValue>& now, bool events);
    void note(const TraceEntry* at, std::string what, std::vector<std::string> details = {});
    int verdict();

    // Runs fn as one call into the module, reported if it hangs or crashes.
    template <class Fn>
    void watched(const std::string& what, Fn&& fn);
    void watchdog();
    void stopWatching();

    const ReplayOptions& options_;
    Trace trace_;
    hostkit::PluginModule module_;
    HostSlots slots_;
    std::vector<Step> steps_;
    std::size_t current_ = 0;                           // the step being replayed
    std::size_t lastQuiet_ = 0;                         // the last step no API request caused
    std::vector<std::vector<BindingValue>> published_;  // by step
    std::vector<std::vector<BindingValue>> logs_;
    std::vector<const TraceEntry*> hostRequests_;
    std::vector<bool> used_;
    std::vector<Difference> differences_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    std::optional<std::chrono::steady_clock::time_point> callStarted_;
    std::string callWhat_;
    bool stopping_ = false;
    std::thread watcher_;
};

void Replayer::buildSteps() {
    steps_.emplace_back();  // Init
    std::map<std::uint64_t, std::size_t> apiSteps;
    std::size_t quiet = 0;
    bool afterQuietEvent = false;
    for (const TraceEntry& entry : trace_.entries) {
        const BindingValue& value = entry.value;
        const std::uint64_t cause = value.find("cause").asUInt64();
        const auto caused = apiSteps.find(cause);
        const std::size_t owner = cause != 0 && caused != apiSteps.end() ? caused->second : quiet;
        switch (*trafficKindNamed(value.find("kind").asString())) {
            case TrafficKind::Api:
                apiSteps[value.find("seq").asUInt64()] = steps_.size();
                steps_.push_back({&entry, {}, {}, {}});
                afterQuietEvent = false;
                break;
            case TrafficKind::EventIn:
                if (owner != quiet) {
                    steps_[owner].eventsIn.push_back(&entry);
                    break;
                }
                if (!afterQuietEvent) {
                    quiet = steps_.size();
                    steps_.push_back({&entry, {}, {}, {}});
                    afterQuietEvent = true;
                }
                steps_[quiet].eventsIn.push_back(&entry);
                break;
            case TrafficKind::EventOut:
                steps_[owner].published.push_back(&entry);
                break;
            case TrafficKind::Log:
                steps_[owner].logs.push_back(&entry);
                break;
            case TrafficKind::HostRequest:
                hostRequests_.push_back(&entry);
                break;
            case TrafficKind::Subscription:
            case TrafficKind::Module:  // a replay runs one module
                break;
        }
    }
    used_.assign(hostRequests_.size(), false);
    published_.resize(steps_.size());
    logs_.resize(steps_.size());
}

void Replayer::note(const TraceEntry* at, std::string what, std::vector<std::string> details) {
    differences_.push_back({at != nullptr ? at->value.find("seq").asUInt64() : 0, where(at),
                            std::move(what), std::move(details)});
}

void Replayer::answerRequest(TavResponse& response, const TavRequest& request) {
    const BindingValue sent = asRecorded(hostRequestFields(request));
    std::optional<std::size_t> match;
    std::optional<std::size_t> sameUrl;
    for (std::size_t i = 0; i < hostRequests_.size() && !match; ++i) {
        if (used_[i]) {
            continue;
        }
        const BindingValue& recorded = hostRequests_[i]->value.find("request");
        if (recorded == sent) {
            match = i;
        } else if (!sameUrl && recorded.find("method") == sent.find("method") &&
                   recorded.find("url") == sent.find("url")) {
            sameUrl = i;
        }
    }
    const Step& step = steps_[current_];
    if (!match && sameUrl) {
        // The same request with other arguments or another body: answered as
        // recorded, so that one changed body does not derail the rest.
        std::vector<std::string> details;
        diffValues(hostRequests_[*sameUrl]->value.find("request"), sent, "request", details);
        note(hostRequests_[*sameUrl],
             "the module sent " + describeRequest(sent, "url") + " with other arguments or body",
             std::move(details));
        match = sameUrl;
    }
    if (!match) {
        note(step.input,
             "the module sent " + describeRequest(sent, "url") + ", which the trace does not have");
        SimulatedAnswer refusal;
        refusal.isError = true;
        refusal.status = 502;
        refusal.message = "replay: no recorded answer for " + describeRequest(sent, "url");
        fillResponse(response, refusal);
        return;
    }
    used_[*match] = true;
    fillResponse(response, hostAnswerOf(hostRequests_[*match]->value));
}

void Replayer::published(std::string_view name, const BindingValue& payload) {
    published_[current_].push_back(asRecorded(eventEntry(name, payload)));
}

void Replayer::logLine(std::int32_t level, std::string_view text) {
    logs_[current_].push_back(asRecorded(logEntry(level, text)));
}

void Replayer::watchdog() {
    std::unique_lock lock(watchMutex_);
    while (!stopping_) {
        if (!callStarted_) {
            watchWake_.wait(lock);
            continue;
        }
        const std::chrono::seconds limit{options_.callLimitSeconds};
        if (watchWake_.wait_until(lock, *callStarted_ + limit) == std::cv_status::timeout &&
            callStarted_ && std::chrono::steady_clock::now() >= *callStarted_ + limit &&
            !tools::faultReported()) {
            std::printf("replay: the module did not return within %u s during %s; stopped\n",
                        options_.callLimitSeconds, callWhat_.c_str());
            std::fflush(stdout);
            std::_Exit(1);
        }
    }
}

void Replayer::stopWatching() {
    {
        std::lock_guard lock(watchMutex_);
        stopping_ = true;
    }
    watchWake_.notify_all();
    if (watcher_.joinable()) {
        watcher_.join();
    }
}

template <class Fn>
void Replayer::watched(const std::string& what, Fn&& fn) {
    std::fflush(stdout);
    tools::setFaultMessage("replay: the module crashed during " + what);
    {
        std::lock_guard lock(watchMutex_);
        callStarted_ = std::chrono::steady_clock::now();
        callWhat_ = what;
    }
    watchWake_.notify_all();
    fn();
    std::lock_guard lock(watchMutex_);
    callStarted_.reset();
}

void Replayer::runStep(std::size_t index) {
    current_ = index;
    const Step& step = steps_[index];
    const BindingValue& input = step.input->value;
    const std::string at = where(step.input);
    if (input.find("kind").asString() == trafficKindName(TrafficKind::Api)) {
        const ApiRequest request = apiRequestOf(input);
        const std::string_view path = input.find("path").asString();
        const EndpointMatch match = findEndpoint(*module_.endpoints(), request.method, path);
        if (match.endpoint == nullptr) {
            note(step.input, "no endpoint of the module takes " + request.method + " " +
                                 std::string(path) + " now");
        } else {
            ApiAnswer answer;
            watched(at, [&] { answer = callEndpoint(*match.endpoint, request); });
            const BindingValue recorded = comparableAnswer(input.find("answer"));
            const BindingValue now = comparableAnswer(asRecorded(apiAnswerFields(answer)));
            if (!(recorded == now)) {
                std::vector<std::string> details;
                diffValues(recorded, now, "answer", details);
                note(step.input, request.method + " " + request.target + ": the answer differs",
                     std::move(details));
            }
        }
    } else {
        lastQuiet_ = index;
    }
    for (const TraceEntry* event : step.eventsIn) {
        slots_.queue(std::string(event->value.find("name").asString()),
                     event->value.find("payload"));
    }
    watched(at, [&] { slots_.deliverPending(); });
}

void Replayer::compareList(const Step& step, const std::vector<const TraceEntry*>& recorded,
                           const std::vector<BindingValue>& now, bool events) {
    const auto describe = [&](const BindingValue& value) {
        return events ? describeEvent(value)
                      : std::string(value.find("level").asString()) + " \"" +
                            std::string(value.find("message").asString()) + "\"";
    };
    const std::size_t common = std::min(recorded.size(), now.size());
    for (std::size_t i = 0; i < common; ++i) {
        const BindingValue expected = withoutBookkeeping(recorded[i]->value);
        if (!(expected == now[i])) {
            std::vector<std::string> details;
            diffValues(expected, now[i], events ? "event" : "log", details);
            note(recorded[i],
                 std::string(events ? "published event " : "log line ") + describe(expected) +
                     " differs",
                 std::move(details));
        }
    }
    for (std::size_t i = common; i < recorded.size(); ++i) {
        note(recorded[i], std::string("the module did not ") + (events ? "publish " : "log ") +
                              describe(recorded[i]->value));
    }
    for (std::size_t i = common; i < now.size(); ++i) {
        note(step.input, std::string("the module ") + (events ? "published " : "logged ") +
                             describe(now[i]) + ", which the trace does not have");
    }
}

void Replayer::compareOutputs(std::size_t index) {
    const Step& step = steps_[index];
    compareList(step, step.published, published_[index], true);
    if (options_.compareLogs) {
        compareList(step, step.logs, logs_[index], false);
    }
}

int Replayer::verdict() {
    std::stable_sort(differences_.begin(), differences_.end(),
                     [](const Difference& a, const Difference& b) { return a.seq < b.seq; });
    const std::size_t entries = trace_.entries.size();
    if (differences_.empty()) {
        std::printf("replay: %zu entries, all matched\n", entries);
        return 0;
    }
    const std::size_t shown = std::min(differences_.size(), options_.maxDifferences);
    std::printf("replay: %zu difference%s in %zu entries", differences_.size(),
                differences_.size() == 1 ? "" : "s", entries);
    if (shown < differences_.size()) {
        std::printf(" (the first %zu shown)", shown);
    }
    std::printf("\n");
    for (std::size_t i = 0; i < shown; ++i) {
        const Difference& difference = differences_[i];
        std::printf("%s: %s\n", difference.where.c_str(), difference.what.c_str());
        for (const std::string& line : difference.details) {
            std::printf("    %s\n", line.c_str());
        }
    }
    return 1;
}

int Replayer::run() {
    std::string error;
    if (!module_.load(options_.module, error)) {
        std::printf("replay: %s: %s\n", options_.module.c_str(), error.c_str());
        return 2;
    }
    const std::string recordedVersion(trace_.header.find("module").find("version").asString());
    const std::string version = moduleVersion(module_.record());
    if (recordedVersion != version) {
        std::printf("replay: %s:1: recorded with version %s of the module; this one is %s\n",
                    options_.trace.c_str(), recordedVersion.c_str(), version.c_str());
        return 2;
    }
    buildSteps();
    tools::reportFatalFaults();
    watcher_ = std::thread([this] { watchdog(); });

    bool initialised = false;
    watched("Init", [&] {
        initialised = module_.init(slots_.table(), this);
        if (initialised) {
            slots_.deliverPending();
        }
    });
    if (!initialised) {
        note(nullptr, "Init failed");
    } else {
        for (std::size_t i = 1; i < steps_.size(); ++i) {
            runStep(i);
        }
    }
    current_ = lastQuiet_;
    watched("Shutdown", [&] { module_.shutdown(); });
    slots_.clear();
    stopWatching();
    module_.close();

    for (std::size_t i = 0; i < steps_.size(); ++i) {
        compareOutputs(i);
    }
    for (std::size_t i = 0; i < hostRequests_.size(); ++i) {
        if (!used_[i]) {
            note(hostRequests_[i],
                 "the module did not send " +
                     describeRequest(hostRequests_[i]->value.find("request"), "url"));
        }
    }
    return verdict();
}

}  // namespace

int replayTrace(const ReplayOptions& options) {
    Trace trace;
    std::string error;
    if (!readTrace(options.trace, trace, error)) {
        std::printf("replay: %s\n", error.c_str());
        return 2;
    }
    Replayer replayer(options, std::move(trace));
    return replayer.run();
}

}  // namespace tav::devhost

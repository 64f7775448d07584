#include "ratio_reporter.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <utility>

#include <unistd.h>

namespace tav::bench {
namespace {

constexpr const char* kRateCounter = "bytes_per_second";

double rateOf(const benchmark::BenchmarkReporter::Run& run) {
    const auto counter = run.counters.find(kRateCounter);
    return counter != run.counters.end() ? counter->second.value : 0.0;
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

std::vector<CheckLine>& checkLines() {
    static std::vector<CheckLine> lines;
    return lines;
}

RatioReporter::RatioReporter(std::vector<RatioGoal> goals, OutputOptions options,
                             std::string settings)
    : ConsoleReporter(options), goals_(std::move(goals)), settings_(std::move(settings)) {}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        const std::string name = run.run_name.str();
        if (run.run_type == Run::RT_Iteration) {
            runRates_[name].push_back(rateOf(run));
            for (const auto& [counter, value] : run.counters) {
                runCounters_[name][counter].push_back(value.value);
            }
        } else if (run.aggregate_name == "median") {
            medianRates_[name] = rateOf(run);
            for (const auto& [counter, value] : run.counters) {
                medianCounters_[name][counter] = value.value;
            }
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReporter::medianRate(const std::string& name) const {
    if (const auto found = medianRates_.find(name); found != medianRates_.end()) {
        return found->second;
    }
    if (const auto found = runRates_.find(name); found != runRates_.end()) {
        return median(found->second);
    }
    return 0;
}

double RatioReporter::medianCounter(const std::string& name, const std::string& counter) const {
    if (const auto found = medianCounters_.find(name); found != medianCounters_.end()) {
        if (const auto value = found->second.find(counter); value != found->second.end()) {
            return value->second;
        }
    }
    if (const auto found = runCounters_.find(name); found != runCounters_.end()) {
        if (const auto values = found->second.find(counter); values != found->second.end()) {
            return median(values->second);
        }
    }
    return -1;
}

// Minor page faults per iteration in steady state, ours beside the anchor's;
// a repeated decode should ask the kernel for nothing (goal: below one).
void RatioReporter::printFaults(std::ostream& out) {
    bool header = false;
    std::string lastOurs;
    for (const RatioGoal& goal : goals_) {
        const double ours = medianCounter(goal.ours, kFaultsCounter);
        const double anchor = medianCounter(goal.anchor, kFaultsCounter);
        if (!goal.oursMeasured || ours < 0 || anchor < 0 || goal.ours == lastOurs) {
            continue;  // one line per reader: beside its first anchor
        }
        lastOurs = goal.ours;
        if (!header) {
            out << "\nMinor page faults per decode, steady state (medians of this run):\n";
            header = true;
        }
        const bool met = ours < 1;
        missed_ += met ? 0 : 1;
        char text[200];
        std::snprintf(text, sizeof text, "  %-46s %8.2f  vs %8.2f %-28s (goal 0) %s\n",
                      (goal.label + ":").c_str(), ours, anchor, goal.anchorTitle.c_str(),
                      met ? "OK" : "MISSED");
        out << text;
    }
}

void RatioReporter::Finalize() {
    std::ostream& out = GetOutputStream();
    out << "\nOur throughput as a ratio to the anchor's, medians of this run (" << settings_
        << "):\n";
    std::size_t width = 0;
    for (const RatioGoal& goal : goals_) {
        width = std::max(width, goal.label.size());
    }
    missed_ = 0;
    for (const RatioGoal& goal : goals_) {
        const double ours = medianRate(goal.ours);
        const double anchor = medianRate(goal.anchor);
        std::string line = "  " + goal.label + ":" + std::string(width - goal.label.size(), ' ');
        char text[160];
        if (ours <= 0 || anchor <= 0) {
            out << line << " not measured (" << goal.ours << " or " << goal.anchor
                << " did not run)\n";
            continue;
        }
        const double ratio = goal.timeRatio ? anchor / ours : ours / anchor;
        std::snprintf(text, sizeof text, " %6.2fx %-28s", ratio, goal.anchorTitle.c_str());
        line += text;
        if (goal.goal > 0) {
            const bool met = goal.timeRatio ? ratio <= goal.goal : ratio >= goal.goal;
            missed_ += met ? 0 : 1;
            std::snprintf(text, sizeof text, " (goal %s%gx) %-6s", goal.timeRatio ? "<= " : "",
                          goal.goal, met ? "OK" : "MISSED");
            if (goal.aim > 0) {
                line += text;
                std::snprintf(text, sizeof text, " (aim %gx: %s)", goal.aim,
                              ratio >= goal.aim ? "reached" : "not yet");
            }
        } else {
            std::snprintf(text, sizeof text, " %-18s", "(no goal)");
        }
        line += text;
        std::snprintf(text, sizeof text, " [%.0f vs %.0f MB/s]", ours / 1e6, anchor / 1e6);
        out << line << text << '\n';
    }
    printFaults(out);
    if (!checkLines().empty()) {
        out << "\nMeasured outside the timed loops:\n";
    }
    for (const CheckLine& check : checkLines()) {
        missed_ += check.hasGoal && !check.met ? 1 : 0;
        out << "  " << check.text;
        if (check.hasGoal) {
            out << (check.met ? " OK" : " MISSED");
        }
        out << '\n';
    }
    if (missed_ != 0) {
        out << "  " << missed_ << " goal(s) missed in this run.\n";
    }
    out.flush();
}

int runRatioBenchmarks(int argc, char** argv,
                       const std::function<std::vector<RatioGoal>()>& registerAll) {
    std::vector<std::string> storage = {
        "--benchmark_repetitions=10",
        "--benchmark_enable_random_interleaving=true",
        "--benchmark_report_aggregates_only=true",
        "--benchmark_min_time=0.2",
    };
    for (int i = 1; i < argc; ++i) {
        storage.emplace_back(argv[i]);
    }
    std::vector<char*> args = {argv[0]};
    for (std::string& arg : storage) {
        args.push_back(arg.data());
    }
    // The settings in effect: for each flag its last setting.
    std::string settings;
    for (std::size_t i = 0; i < storage.size(); ++i) {
        const std::string name = storage[i].substr(0, storage[i].find('='));
        bool overridden = false;
        for (std::size_t later = i + 1; later < storage.size(); ++later) {
            overridden = overridden || storage[later].substr(0, storage[later].find('=')) == name;
        }
        if (!overridden) {
            settings += (settings.empty() ? "" : " ") + storage[i];
        }
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
        return 1;
    }
    RatioReporter reporter(registerAll(),
                           isatty(STDOUT_FILENO) != 0 ? benchmark::ConsoleReporter::OO_Color
                                                      : benchmark::ConsoleReporter::OO_None,
                           settings);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

}  // namespace tav::bench

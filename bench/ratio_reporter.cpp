#include "ratio_reporter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <regex>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tav::bench {
namespace {

constexpr const char* kRateCounter = "bytes_per_second";
constexpr int kDefaultRounds = 5;
constexpr int kLeastRounds = 3;

struct Spread {
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread spreadOf(std::vector<double> values) {
    if (values.empty()) {
        return {};
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    const double median =
        values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return {median, values.front(), values.back()};
}

std::string timeText(double seconds) {
    char text[32];
    if (seconds >= 1e-3) {
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    } else if (seconds >= 1e-6) {
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.1f ns", seconds * 1e9);
    }
    return text;
}

std::string quoteRegex(const std::string& name) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(name, special, R"(\$&)");
}

const char* verdict(bool met) {
    return met ? "PASS" : "MISS";
}

}  // namespace

std::vector<CheckLine>& checkLines() {
    static std::vector<CheckLine> lines;
    return lines;
}

RatioReporter::RatioReporter(std::vector<RatioGoal> goals, std::string settings)
    : ConsoleReporter(OO_None), goals_(std::move(goals)), settings_(std::move(settings)) {}

bool RatioReporter::ReportContext(const Context& context) {
    if (contextShown_) {
        return true;
    }
    contextShown_ = true;
    return ConsoleReporter::ReportContext(context);
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration) {
            continue;
        }
        const std::string name = run.run_name.str();
        if (rounds_.find(name) == rounds_.end()) {
            order_.push_back(name);
        }
        std::vector<RoundFigure>& figures = rounds_[name];
        if (run.error_occurred) {
            errors_[name] = run.error_message;
            continue;
        }
        RoundFigure figure;
        figure.seconds = run.iterations > 0
                             ? run.real_accumulated_time / static_cast<double>(run.iterations)
                             : 0;
        if (const auto rate = run.counters.find(kRateCounter); rate != run.counters.end()) {
            figure.rate = rate->second.value;
        }
        if (const auto faults = run.counters.find(kFaultsCounter); faults != run.counters.end()) {
            figure.faults = faults->second.value;
        }
        figures.push_back(figure);
    }
}

void RatioReporter::printTable(std::ostream& out) {
    std::size_t width = 0;
    for (const std::string& name : order_) {
        width = std::max(width, name.size());
    }
    for (const std::string& name : order_) {
        out << "  " << name << std::string(width - name.size(), ' ');
        if (const auto error = errors_.find(name); error != errors_.end()) {
            out << "  FAILED: " << error->second << '\n';
            continue;
        }
        std::vector<double> seconds;
        std::vector<double> rates;
        for (const RoundFigure& figure : rounds_[name]) {
            seconds.push_back(figure.seconds);
            rates.push_back(figure.rate);
        }
        const Spread time = spreadOf(seconds);
        char text[160];
        std::snprintf(text, sizeof text, "  %10s  [%s - %s]", timeText(time.median).c_str(),
                      timeText(time.low).c_str(), timeText(time.high).c_str());
        out << text;
        if (const Spread rate = spreadOf(rates); rate.median > 0) {
            std::snprintf(text, sizeof text, "  %8.1f MB/s", rate.median / 1e6);
            out << text;
        }
        out << '\n';
    }
}

// Each round's ratio comes from two runs of that round, so a slow phase
// shared by both cancels; the median of the rounds then drops an odd one.
void RatioReporter::printRatios(std::ostream& out, std::ostream* verdicts) {
    std::size_t width = 0;
    for (const RatioGoal& goal : goals_) {
        width = std::max(width, goal.label.size());
    }
    for (const RatioGoal& goal : goals_) {
        const std::vector<RoundFigure>& ours = rounds_[goal.ours];
        const std::vector<RoundFigure>& anchor = rounds_[goal.anchor];
        std::string line = "  " + goal.label + ":" + std::string(width - goal.label.size(), ' ');
        std::vector<double> ratios;
        for (std::size_t i = 0; i < std::min(ours.size(), anchor.size()); ++i) {
            const bool byRate = ours[i].rate > 0 && anchor[i].rate > 0;
            double ratio = byRate ? ours[i].rate / anchor[i].rate
                                  : anchor[i].seconds / std::max(ours[i].seconds, 1e-12);
            ratios.push_back(goal.timeRatio ? 1 / ratio : ratio);
        }
        if (ratios.empty() || errors_.count(goal.ours) != 0 || errors_.count(goal.anchor) != 0) {
            out << line << " not measured (" << goal.ours << " or " << goal.anchor
                << " did not run)\n";
            continue;
        }
        const Spread ratio = spreadOf(ratios);
        char text[200];
        std::snprintf(text, sizeof text, " %5.2fx [%.2f-%.2f] %-26s", ratio.median, ratio.low,
                      ratio.high, goal.anchorTitle.c_str());
        line += text;
        if (goal.goal > 0) {
            const bool met = goal.timeRatio ? ratio.median <= goal.goal : ratio.median >= goal.goal;
            missed_ += met ? 0 : 1;
            std::snprintf(text, sizeof text, " goal %s%.2gx %s", goal.timeRatio ? "<= " : "",
                          goal.goal, verdict(met));
            line += text;
            if (goal.aim > 0) {
                std::snprintf(text, sizeof text, " (aim %gx: %s)", goal.aim,
                              ratio.median >= goal.aim ? "reached" : "not yet");
                line += text;
            }
            if (verdicts != nullptr) {
                *verdicts << line << '\n';
            }
        } else {
            line += " (no goal)";
        }
        out << line << '\n';
    }
}

// Minor page faults per iteration in steady state, ours beside the anchor's;
// a repeated decode should ask the kernel for nothing (goal: below one).
void RatioReporter::printFaults(std::ostream& out, std::ostream* verdicts) {
    bool header = false;
    std::string lastOurs;
    for (const RatioGoal& goal : goals_) {
        std::vector<double> ours;
        std::vector<double> anchor;
        for (const RoundFigure& figure : rounds_[goal.ours]) {
            if (figure.faults >= 0) {
                ours.push_back(figure.faults);
            }
        }
        for (const RoundFigure& figure : rounds_[goal.anchor]) {
            if (figure.faults >= 0) {
                anchor.push_back(figure.faults);
            }
        }
        if (!goal.oursMeasured || ours.empty() || anchor.empty() || goal.ours == lastOurs) {
            continue;  // one line per reader: beside its first anchor
        }
        lastOurs = goal.ours;
        if (!header) {
            out << "\nMinor page faults per decode, steady state (median [lowest-highest "
                   "round]):\n";
            header = true;
        }
        const Spread mine = spreadOf(ours);
        const Spread theirs = spreadOf(anchor);
        const bool met = mine.median < 1;
        missed_ += met ? 0 : 1;
        char text[240];
        std::snprintf(text, sizeof text, "  %-46s %6.2f [%.2f-%.2f] vs %6.2f %-26s goal 0 %s",
                      (goal.label + ":").c_str(), mine.median, mine.low, mine.high, theirs.median,
                      goal.anchorTitle.c_str(), verdict(met));
        out << text << '\n';
        if (verdicts != nullptr) {
            *verdicts << "  page faults, " << text + 2 << '\n';
        }
    }
}

void RatioReporter::printChecks(std::ostream& out, std::ostream* verdicts) {
    if (!checkLines().empty()) {
        out << "\nCounted outside the timed loops:\n";
    }
    for (const CheckLine& check : checkLines()) {
        missed_ += check.hasGoal && !check.met ? 1 : 0;
        std::string line = "  " + check.text;
        if (check.hasGoal) {
            line += std::string(" ") + verdict(check.met);
            if (verdicts != nullptr) {
                *verdicts << line << '\n';
            }
        }
        out << line << '\n';
    }
}

void RatioReporter::printSummary(std::ostream& out, std::ostream* verdicts, bool memoryOnly) {
    missed_ = 0;
    const std::size_t rounds = rounds_.empty() ? 0 : rounds_.begin()->second.size();
    if (!order_.empty() && !memoryOnly) {
        out << "\nEach benchmark, median time per iteration [lowest-highest] of " << rounds
            << " round(s) (" << settings_ << "):\n";
        printTable(out);
    }
    if (!memoryOnly && !goals_.empty()) {
        out << "\nOur throughput as a ratio to the anchor's, median [lowest-highest] of the "
               "per-round ratios of "
            << rounds << " interleaved rounds:\n";
        printRatios(out, verdicts);
    }
    printFaults(out, verdicts);
    printChecks(out, verdicts);
    if (missed_ != 0) {
        out << "  " << missed_ << " goal(s) missed in this run.\n";
    }
    for (const auto& [name, message] : errors_) {
        out << "  benchmark " << name << " failed: " << message << '\n';
    }
    out.flush();
}

int runRatioBenchmarks(int argc, char** argv,
                       const std::function<std::vector<RatioGoal>()>& registerAll) {
#if defined(__GLIBC__)
    // glibc gives the top of its heap back to the kernel once enough of it
    // is free, so whether a contender's blocks were faulted in afresh
    // depended on what the one before it had freed. No trimming, as a
    // long-running host's warm heap has in effect, removes that cause (the
    // heap's layout still moves the figures of the largest inputs).
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
    const char* memoryOnlyReason = std::getenv("TAV_BENCH_MEMORY_ONLY");
    const bool memoryOnly = memoryOnlyReason != nullptr && *memoryOnlyReason != '\0';
    int rounds = kDefaultRounds;
    if (const char* text = std::getenv("TAV_BENCH_ROUNDS"); text != nullptr) {
        rounds = std::max(kLeastRounds, std::atoi(text));
    }
    // Counts, not times, under an emulator: one short round.
    if (memoryOnly) {
        rounds = 1;
    }
    std::vector<std::string> storage = {memoryOnly ? "--benchmark_min_time=0.05"
                                                   : "--benchmark_min_time=0.2"};
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
    std::vector<RatioGoal> goals = registerAll();
    std::string filter = benchmark::GetBenchmarkFilter();
    if (memoryOnly) {
        // Only what the page-fault lines need: each reader and its first
        // anchor.
        filter.clear();
        std::string lastOurs;
        for (const RatioGoal& goal : goals) {
            if (goal.oursMeasured && !goal.timeRatio && goal.ours != lastOurs) {
                lastOurs = goal.ours;
                filter += (filter.empty() ? "^(" : "|") + quoteRegex(goal.ours) + "|" +
                          quoteRegex(goal.anchor);
            }
        }
        filter = filter.empty() ? "^$" : filter + ")$";
    }
    RatioReporter reporter(std::move(goals), settings);
    const auto start = std::chrono::steady_clock::now();
    for (int round = 1; round <= rounds && filter != "^$"; ++round) {
        benchmark::RunSpecifiedBenchmarks(&reporter, filter);
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        std::fprintf(stderr, "%s: round %d of %d done after %.0f s\n", argv[0], round, rounds,
                     spent.count());
    }
    std::ofstream verdictFile;
    if (const char* path = std::getenv("TAV_BENCH_VERDICTS"); path != nullptr && *path != '\0') {
        verdictFile.open(path, std::ios::app);
    }
    reporter.printSummary(std::cout, verdictFile.is_open() ? &verdictFile : nullptr, memoryOnly);
    benchmark::Shutdown();
    return reporter.failedBenchmarks() != 0 ? 1 : 0;
}

}  // namespace tav::bench

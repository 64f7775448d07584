// Runs a program's benchmarks in rounds and judges pairs of them. Every
// round runs each benchmark once, in the order registered, so ours and the
// anchors registered right after it run back to back and a slow phase of a
// shared machine hits both. After the last round it prints each benchmark's
// median with the spread of the rounds, then each of our figures as the
// median of its per-round ratios to its anchor, with the spread, the goal and
// PASS or MISS. A verdict never rests on fewer than three rounds.
//
// Environment: TAV_BENCH_ROUNDS (default 5, at least 3); TAV_BENCH_VERDICTS,
// a file every goal line is appended to (scripts/run-bench collects them);
// TAV_BENCH_MEMORY_ONLY, a reason not to trust times here (an emulator):
// then only the memory lines and the page faults are measured and printed.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace tav::bench {

struct RatioGoal {
    std::string label;  // what is measured, e.g. "json read, session (8.1 KB)"
    std::string ours;   // benchmark names as registered
    std::string anchor;
    std::string anchorTitle;  // how the ratio line names the anchor
    double goal = 0;          // the least acceptable ratio; 0 for none
    double aim = 0;           // the ratio aimed at beyond the goal; 0 for none
    // Print the time of ours as a ratio to the anchor's instead, with the
    // goal as the largest acceptable ratio.
    bool timeRatio = false;
    // False when both sides are other libraries (a bound on one of our
    // ratios): no page-fault line then.
    bool oursMeasured = true;
};

// A figure measured outside the timed benchmarks (memory held by a tree, say),
// printed after the ratios with whether it met its goal. Such figures are
// counted, not timed, so one measurement decides.
struct CheckLine {
    std::string text;
    bool hasGoal = false;
    bool met = true;
};

// The checks a program adds while it registers its benchmarks.
std::vector<CheckLine>& checkLines();

// Benchmarks that count minor page faults per iteration report them under
// this counter; the reporter prints ours beside the anchor's.
inline constexpr const char* kFaultsCounter = "faults";

// What one benchmark gave in one round.
struct RoundFigure {
    double seconds = 0;  // per iteration
    double rate = 0;     // bytes per second; 0 when not counted
    double faults = -1;  // per iteration; negative when not counted
};

// Collects the runs of every round and prints the verdicts at the end.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::vector<RatioGoal> goals, std::string settings);

    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override {}

    // Prints the benchmarks, the ratios (unless memoryOnly) and the checks;
    // the goal lines also go to verdicts when it is open.
    void printSummary(std::ostream& out, std::ostream* verdicts, bool memoryOnly);

    int missedGoals() const noexcept { return missed_; }
    int failedBenchmarks() const noexcept { return static_cast<int>(errors_.size()); }

private:
    void printTable(std::ostream& out);
    void printRatios(std::ostream& out, std::ostream* verdicts);
    void printFaults(std::ostream& out, std::ostream* verdicts);
    void printChecks(std::ostream& out, std::ostream* verdicts);

    std::vector<RatioGoal> goals_;
    std::string settings_;
    bool contextShown_ = false;
    std::vector<std::string> order_;  // benchmark names as first run
    std::map<std::string, std::vector<RoundFigure>> rounds_;
    std::map<std::string, std::string> errors_;
    int missed_ = 0;
};

// The main of a program of ratio benchmarks: the rounds, 0.2 s for each
// benchmark in each, then the command line's flags (a later setting wins).
// registerAll registers the benchmarks and returns their goals. Exits
// nonzero when a benchmark failed; a missed goal is a verdict, not a failure.
int runRatioBenchmarks(int argc, char** argv,
                       const std::function<std::vector<RatioGoal>()>& registerAll);

}  // namespace tav::bench

// A console reporter that, besides the usual table, compares pairs of
// benchmarks measured in the same run: after the last benchmark it prints each
// of our figures as a ratio of median throughputs (bytes per second) to its
// anchor, next to the goal for that ratio. Machines differ by a factor of two
// and more, so only ratios from one run, repetitions interleaved, mean much.
#pragma once

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
// printed after the ratios with whether it met its goal.
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

class RatioReporter final : public benchmark::ConsoleReporter {
public:
    RatioReporter(std::vector<RatioGoal> goals, OutputOptions options, std::string settings);

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

    // Goals whose ratio was measured and fell short; known after Finalize.
    int missedGoals() const noexcept { return missed_; }

private:
    // The median bytes per second of a benchmark: its "median" aggregate when
    // repetitions were reported that way, else the median of its runs; 0 when
    // it did not run.
    double medianRate(const std::string& name) const;
    // The median of a counter over the repetitions; negative when absent.
    double medianCounter(const std::string& name, const std::string& counter) const;
    void printFaults(std::ostream& out);

    std::vector<RatioGoal> goals_;
    std::string settings_;
    std::map<std::string, std::vector<double>> runRates_;
    std::map<std::string, double> medianRates_;
    std::map<std::string, std::map<std::string, std::vector<double>>> runCounters_;
    std::map<std::string, std::map<std::string, double>> medianCounters_;
    int missed_ = 0;
};

// The main of a program of ratio benchmarks: ten repetitions interleaved,
// aggregates only, 0.2 s each, then the command line's flags (a later setting
// wins). registerAll registers the benchmarks and returns their goals.
int runRatioBenchmarks(int argc, char** argv,
                       const std::function<std::vector<RatioGoal>()>& registerAll);

}  // namespace tav::bench

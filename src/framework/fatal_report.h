// The report raised when the plugin cannot go on (an incompatible host): the
// text is logged as an error and the process ends.
#pragma once

#include <string>
#include <string_view>

namespace tav {

struct FatalReport {
    std::string expression;
    std::string description;
    std::string file;
    int line = 0;
    std::string function;
};

// "Assertion failed!", a blank line, then the file, line, function,
// expression and description parts that are set.
std::string fatalReportText(const FatalReport& report);

// Logs the report at ERROR and aborts the process.
[[noreturn]] void raiseFatal(const FatalReport& report);

}  // namespace tav

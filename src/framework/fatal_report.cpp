#include "framework/fatal_report.h"

#include <cstdlib>

#include "log/log_manager.h"

namespace tav {

std::string fatalReportText(const FatalReport& report) {
    std::string text = "Assertion failed!\n\n";
    if (!report.file.empty()) {
        text += "File: " + report.file + "\n";
    }
    if (report.line != 0) {
        text += "Line: " + std::to_string(report.line) + "\n\n";
    }
    if (!report.function.empty()) {
        text += "Function: " + report.function + "\n\n";
    }
    if (!report.expression.empty()) {
        text += "Expression: " + report.expression;
    }
    if (!report.description.empty()) {
        text += "\n\nDescription: " + report.description;
    }
    return text;
}

void raiseFatal(const FatalReport& report) {
    const std::string text = fatalReportText(report);
    Log(LogLevel::Error, static_cast<std::uint32_t>(LogCategory::Debug), 0, "%s", text.c_str());
    std::abort();
}

}  // namespace tav

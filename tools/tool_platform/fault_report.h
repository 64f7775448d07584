// A module that crashes during replay must read as a finding, not as a crash
// of the tool: a fatal fault prints the message last set here and ends the
// process with status 1. POSIX: signal handlers; Windows: the unhandled
// exception filter.
#pragma once

#include <string_view>

namespace tav::tools {

void reportFatalFaults();
// What a fault prints (one line); cut at 511 bytes.
void setFaultMessage(std::string_view message);
// Whether a fault is being reported (the process is ending; a sanitizer may
// hold it a moment longer).
bool faultReported();

}  // namespace tav::tools

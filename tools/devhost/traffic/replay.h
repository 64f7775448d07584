// Replaying a trace against a module, without HTTP: the module is loaded and
// initialised, the recorded API requests and the events the implementations
// sent are fed to it in order, its requests through the host are answered
// from the trace (matched by method, URL and body, first unused first), and
// what it does is compared with what the trace holds: each API answer
// (status, content type, body as a value), the requests it sent, the events
// it published and, if asked, its log lines. Times and numbers are not
// compared.
//
// Entries are compared step by step: a step is an API request with what it
// caused, or a run of events from the implementations that no API request
// caused (the control routes' changes), or Init; so one missing event shows
// as one difference, not as a shift of everything after it.
#pragma once

#include <cstddef>
#include <string>

namespace tav::devhost {

struct ReplayOptions {
    std::string trace;
    std::string module;
    bool compareLogs = false;
    std::size_t maxDifferences = 10;
    unsigned callLimitSeconds = 10;  // a call into the module that takes longer hangs
};

// Prints the verdict on stdout ("replay: N entries, all matched", or the
// first differences) and returns the exit status: 0 all matched, 1
// differences (a module that crashed or hung included), 2 a trace or module
// that cannot be used.
int replayTrace(const ReplayOptions& options);

}  // namespace tav::devhost

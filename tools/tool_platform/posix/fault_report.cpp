#include "tool_platform/fault_report.h"

#include <csignal>

#include <unistd.h>

#include "tool_platform/fault_message.h"

namespace tav::tools {
namespace {

extern "C" void onFatalSignal(int /*signal*/) {
    detail::FaultMessage& message = detail::faultMessage();
    message.fired.store(true);
    const ssize_t written = ::write(STDOUT_FILENO, message.text, message.length.load());
    (void)written;
    ::_exit(1);
}

}  // namespace

void reportFatalFaults() {
    struct sigaction action {};
    action.sa_handler = &onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND);
    for (const int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) {
        sigaction(signal, &action, nullptr);
    }
}

}  // namespace tav::tools

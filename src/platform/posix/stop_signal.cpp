#include "platform/stop_signal.h"

#include <csignal>

#include <pthread.h>
#include <unistd.h>

namespace tav::platform {
namespace {

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    return signals;
}

}  // namespace

void catchStopRequests() {
    // Blocked in every thread, taken only by sigwait: no handler runs in the
    // middle of another thread's work.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void waitForStopRequest() {
    const sigset_t signals = stopSignals();
    int signal = 0;
    sigwait(&signals, &signal);
}

void requestStop() {
    kill(getpid(), SIGTERM);
}

}  // namespace tav::platform

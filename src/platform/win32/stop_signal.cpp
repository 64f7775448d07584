#include "platform/stop_signal.h"

#include <windows.h>

namespace tav::platform {
namespace {

// Manual-reset: once set, every wait returns.
constinit HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    SetEvent(stopEvent);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        return TRUE;
    }
    // Closing the console, logging off or shutting down ends the process as
    // soon as this returns; waiting here gives the program the system's grace
    // time to shut down in order, and its exit ends this thread.
    Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void catchStopRequests() {
    if (stopEvent == nullptr) {
        stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    }
}

void waitForStopRequest() {
    WaitForSingleObject(stopEvent, INFINITE);
}

void requestStop() {
    SetEvent(stopEvent);
}

}  // namespace tav::platform

// Asking a console program to stop: from outside (SIGINT or SIGTERM on POSIX;
// Ctrl-C, Ctrl-Break or closing the console on Windows) or from inside, the
// request waited for on one thread so that the program shuts down in order.
#pragma once

namespace tav::platform {

// Starts catching stop requests. Call once, before any other thread starts:
// on POSIX the signals are blocked and later threads inherit the mask (and a
// write to a closed socket or pipe no longer ends the process).
void catchStopRequests();

// Blocks until a stop request came; returns at once after one came.
void waitForStopRequest();

// Makes a stop request from within the process, from any thread.
void requestStop();

}  // namespace tav::platform

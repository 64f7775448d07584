// The debugger's text channel (OutputDebugStringA on Windows). POSIX systems
// have no such channel; there the text goes to an installable sink, which is
// empty by default and lets tests observe what a debugger would see.
#pragma once

namespace tav::platform {

void outputDebugString(const char* text);

using DebugOutputSink = void (*)(const char* text);

// Replaces the POSIX sink (nullptr discards); returns the previous one.
// Has no effect on Windows, where the debugger receives the text.
DebugOutputSink setDebugOutputSink(DebugOutputSink sink);

}  // namespace tav::platform

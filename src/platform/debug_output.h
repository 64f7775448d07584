// The debugger's text channel (OutputDebugStringA on Windows). POSIX systems
// have no such channel. On both, the text also goes to an installable sink,
// empty by default, which lets tests observe what a debugger would see.
#pragma once

namespace tav::platform {

void outputDebugString(const char* text);

using DebugOutputSink = void (*)(const char* text);

// Replaces the sink (nullptr: none); returns the previous one. On Windows the
// debugger receives the text whether or not a sink is installed.
DebugOutputSink setDebugOutputSink(DebugOutputSink sink);

}  // namespace tav::platform

// Where the running program's file is, from the system rather than from
// argv[0] (which names what the shell was given, or nothing): the tools find
// their module and scenarios relative to it.
#pragma once

#include <string>

namespace tav::tools {

// The absolute path of the program's file, links resolved (/proc/self/exe
// here, GetModuleFileNameW on Windows); empty when the system cannot tell.
std::string executablePath();

}  // namespace tav::tools

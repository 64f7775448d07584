// Facts about the running process and thread: the executable's file name and
// the calling thread's identifier.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tav::platform {

// Writes the full path of the process's executable into buffer (always
// zero-terminated when size > 0, cut when too long); returns the characters
// written, 0 when unknown.
std::size_t moduleFileName(char* buffer, std::size_t size);

// The operating system's identifier of the calling thread.
std::uintptr_t currentThreadId();

}  // namespace tav::platform

// Bytes from the operating system's random source, for secrets such as a
// server's access token (std::random_device is deterministic on some MinGW
// runtimes).
#pragma once

#include <cstddef>

namespace tav::platform {

// Fills size bytes at buffer; false when the source failed (buffer then holds
// nothing to rely on).
bool systemRandom(void* buffer, std::size_t size);

}  // namespace tav::platform

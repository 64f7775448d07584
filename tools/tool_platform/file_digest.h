// The SHA-256 of a file, from the system's cryptography: OpenSSL's libcrypto
// here, CNG (bcrypt.dll) on Windows.
#pragma once

#include <string>

namespace tav::tools {

// Lower-case hexadecimal, or empty when the file cannot be read.
std::string fileSha256(const std::string& path);

}  // namespace tav::tools

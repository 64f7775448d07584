#include "tool_platform/file_digest.h"

#include <cstdio>
#include <memory>

#include "text/string_utils.h"

// <bcrypt.h> needs the types of <windows.h> before it.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

namespace tav::tools {
namespace {

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE handle) const { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct HashCloser {
    void operator()(BCRYPT_HASH_HANDLE handle) const { BCryptDestroyHash(handle); }
};

}  // namespace

std::string fileSha256(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (!file ||
        BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
        return {};
    }
    const std::unique_ptr<void, AlgorithmCloser> algorithm(rawAlgorithm);
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (BCryptCreateHash(rawAlgorithm, &rawHash, nullptr, 0, nullptr, 0, 0) < 0) {
        return {};
    }
    const std::unique_ptr<void, HashCloser> hash(rawHash);
    unsigned char buffer[64 * 1024];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get())) {
        if (BCryptHashData(rawHash, buffer, static_cast<ULONG>(count), 0) < 0) {
            return {};
        }
    }
    unsigned char digest[32];
    if (std::ferror(file.get()) != 0 || BCryptFinishHash(rawHash, digest, sizeof digest, 0) < 0) {
        return {};
    }
    return lowerHex(digest);
}

}  // namespace tav::tools

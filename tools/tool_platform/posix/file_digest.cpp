#include "tool_platform/file_digest.h"

#include <cstdio>
#include <memory>

#include <openssl/evp.h>

#include "text/string_utils.h"

namespace tav::tools {

std::string fileSha256(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(),
                                                                     &EVP_MD_CTX_free);
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return {};
    }
    unsigned char buffer[64 * 1024];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get())) {
        if (EVP_DigestUpdate(context.get(), buffer, count) != 1) {
            return {};
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (std::ferror(file.get()) != 0 || EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return {};
    }
    return lowerHex({digest, length});
}

}  // namespace tav::tools

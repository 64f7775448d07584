#include "tool_platform/executable_path.h"

#include <vector>

#include <unistd.h>

namespace tav::tools {

std::string executablePath() {
    // readlink neither terminates nor says whether it cut the name: grow
    // until the name fits with a byte to spare.
    for (std::size_t size = 256; size <= (std::size_t{1} << 16); size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
    }
    return {};
}

}  // namespace tav::tools

#include "tool_platform/executable_path.h"

#include <vector>

#include <windows.h>

namespace tav::tools {

std::string executablePath() {
    // GetModuleFileNameW cuts a name that does not fit and says so only by
    // filling the buffer: grow until it fits.
    std::vector<wchar_t> wide;
    for (DWORD size = 260; size <= 32768; size *= 2) {
        wide.resize(size);
        const DWORD length = GetModuleFileNameW(nullptr, wide.data(), size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            wide.resize(length);
            break;
        }
        if (size == 32768) {
            return {};
        }
    }
    // The tools open files and load modules through the ANSI calls, so the
    // path is wanted in the ANSI code page; one it cannot spell is no path.
    BOOL lossy = FALSE;
    const int bytes =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
    if (bytes <= 0 || lossy) {
        return {};
    }
    std::string path(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        path.data(), bytes, nullptr, nullptr);
    return path;
}

}  // namespace tav::tools

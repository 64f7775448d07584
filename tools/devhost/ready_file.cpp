#include "ready_file.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tav::devhost {

bool writeReadyFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            error = "cannot write the ready file " + partial;
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(partial, path, ec);
    if (ec) {
        error = "cannot rename " + partial + " to the ready file " + path + ": " + ec.message();
        std::filesystem::remove(partial, ec);
        return false;
    }
    return true;
}

void removeReadyFile(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

}  // namespace tav::devhost

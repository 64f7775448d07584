// The session page's files, embedded into the tool at build time (the .cpp
// is generated from tools/devhost/page by embed_files.cmake).
#pragma once

#include <span>
#include <string_view>

namespace tav::devhost {

struct PageFile {
    std::string_view name;  // "index.html", "app.js", ...
    std::string_view contentType;
    std::string_view content;
};

std::span<const PageFile> pageFiles();

}  // namespace tav::devhost

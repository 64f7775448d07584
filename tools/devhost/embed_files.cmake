# Writes OUTPUT, a C++ source defining tav::devhost::pageFiles() over FILES:
# each file's name, content type and bytes. FILES is separated by "|".
string(REPLACE "|" ";" FILES "${FILES}")
set(body "")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  get_filename_component(extension ${file} LAST_EXT)
  set(type "application/octet-stream")
  if(extension STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(extension STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(extension STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(extension STREQUAL ".svg")
    set(type "image/svg+xml")
  elseif(extension STREQUAL ".png")
    set(type "image/png")
  elseif(extension STREQUAL ".json")
    set(type "application/json")
  endif()
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" hex_length)
  math(EXPR size "${hex_length} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(MAKE_C_IDENTIFIER "${name}" id)
  string(APPEND arrays "constexpr char k_${id}[] = {${bytes}'\\0'};\n")
  string(APPEND body "        {\"${name}\", \"${type}\", {k_${id}, ${size}}},\n")
endforeach()
file(WRITE ${OUTPUT} "// Generated from tools/devhost/page by embed_files.cmake: do not edit.
#include \"page_files.h\"

namespace tav::devhost {
namespace {
${arrays}
}  // namespace

std::span<const PageFile> pageFiles() {
    static constexpr PageFile kFiles[] = {
${body}    };
    return kFiles;
}

}  // namespace tav::devhost
")

// What the fuzz targets share: a check that reports and aborts (a finding),
// and splitting an input into its leading lines and the rest.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace tav::fuzz {

// The fuzzer records an abort as a crash, with the input that caused it.
inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// Takes the text up to the next newline (without it) off the front of rest;
// the whole rest when there is none.
inline std::string_view takeLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return line;
}

}  // namespace tav::fuzz

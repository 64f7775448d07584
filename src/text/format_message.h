// The message formatter: fills numbered ("%1", "%2$s") and printf-style
// placeholders from typed arguments into a caller's buffer. Whatever the
// format text, it never reads past its arguments nor writes past the buffer.
#pragma once

#include <cstddef>

#include "text/format_arg.h"

namespace tav {

// Formats into `buffer`, writing at most size - 1 characters and always a
// zero byte after them; returns the number of characters written. With size
// 0 (or a null buffer) nothing is written and 0 is returned. Formatting
// stops early, keeping what was written, when the buffer is full, when a
// placeholder reaches 60 characters, when one names an argument beyond
// `count`, or when a "*" names an argument that is not an integer.
std::size_t formatMessage(char* buffer, std::size_t size, const char* format, const FormatArg* args,
                          std::size_t count);

}  // namespace tav

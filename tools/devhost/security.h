// What keeps a local development server local: the per-run token of the
// control routes, the Host check against DNS rebinding, the bounds on what a
// request may carry, and the escaping of request text before it reaches a
// log line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tav::devhost {

// Bodies beyond this are refused with 413.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 20;
// The HTTP library bounds each header line (8 KiB) and the request line;
// these bound the whole header block, checked before anything else.
inline constexpr std::size_t kMaxHeaderCount = 64;
inline constexpr std::size_t kMaxHeaderBytes = 32 * 1024;

// 32 hexadecimal digits from the system's random source.
std::string makeToken();

// Whether host (a Host header) names this server: "127.0.0.1:PORT" or
// "localhost:PORT", the name compared ignoring case.
bool hostAllowed(std::string_view host, std::uint16_t port);

// Compares in time independent of where the texts differ.
bool tokenMatches(std::string_view given, std::string_view token);

// Printable ASCII stays; quotes, backslashes, control and other bytes become
// escapes (\", \\, \xHH), and the result is cut at maxBytes of input.
std::string escapeForLog(std::string_view text, std::size_t maxBytes = 200);

}  // namespace tav::devhost

// What keeps a local development server local: the per-run token of the
// control routes, the Host check against DNS rebinding, the bounds on what a
// request may carry and how long it may take, the character checks on text
// that is carried on or echoed back, and the escaping of request text before
// it reaches a log line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tav::devhost {

// Bodies beyond this are refused with 413, however they are framed.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{1} << 20;
// The header fields a client may send (431 beyond), each line's length and
// the whole head's; the request line's (414 beyond).
inline constexpr std::size_t kMaxHeaderCount = 64;
inline constexpr std::size_t kMaxHeaderLineBytes = 8 * 1024;
inline constexpr std::size_t kMaxHeadBytes = 64 * 1024;
inline constexpr std::size_t kMaxRequestLineBytes = 8 * 1024;
// A request's head and body arrive within this of the connection's opening
// or the previous answer (408 beyond); an answer, or a part of an event
// stream, that has not been written in kWriteTime ends the connection.
inline constexpr auto kRequestTime = std::chrono::seconds(5);
inline constexpr auto kWriteTime = std::chrono::seconds(10);
inline constexpr std::size_t kMaxConnections = 128;

// 32 hexadecimal digits from the system's random source; empty when it failed.
std::string makeToken();

// Whether host (a Host header) names this server: "127.0.0.1:PORT" or
// "localhost:PORT", the name compared ignoring case.
bool hostAllowed(std::string_view host, std::uint16_t port);

// Compares in time independent of where the texts differ.
bool tokenMatches(std::string_view given, std::string_view token);

// Whether every character of text is an ASCII letter, a digit or one of
// extra; true for empty text.
bool onlyCharacters(std::string_view text, std::string_view extra);

// Printable ASCII stays; quotes, backslashes, control and other bytes become
// escapes (\", \\, \xHH), and the result is cut at maxBytes of input.
std::string escapeForLog(std::string_view text, std::size_t maxBytes = 200);

}  // namespace tav::devhost

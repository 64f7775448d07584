// What a request's target means, decided once: every check and every route
// looks at the same path, whatever escapes, repeated slashes or dot segments
// the client wrote.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav::devhost {

struct RequestTarget {
    // Percent-decoded once, repeated slashes folded, "." and ".." resolved;
    // starts with "/".
    std::string path;
    // The query as sent, without "?" (its parameters are decoded when read).
    std::string query;
};

// Nullopt for a target that is not an absolute path, holds a malformed
// escape, decodes to a NUL or control byte, or climbs above the root.
std::optional<RequestTarget> parseTarget(std::string_view target);

// path percent-encoded again where a path may not hold the byte as it is, so
// that a consumer that decodes sees the same path.
std::string encodePath(std::string_view path);

// Every value of the query parameter name, decoded ("+" is a space).
std::vector<std::string> queryValues(std::string_view query, std::string_view name);

}  // namespace tav::devhost

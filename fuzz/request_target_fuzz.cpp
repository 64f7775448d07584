// The development host's reading of what a web page sends: a request target
// becomes one path (absolute, no empty, "." or ".." segment, no control
// byte) that reads back the same once encoded again, and its query's
// parameters are found without fault; an origin given to --allow-origin is
// kept in a form that normalises to itself.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "server/origin_policy.h"
#include "server/request_target.h"

namespace {

bool plainPath(std::string_view path) {
    if (!path.starts_with('/')) {
        return false;
    }
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    if (path == "/") {
        return true;
    }
    std::string_view rest = path.substr(1);
    if (rest.ends_with('/')) {
        rest.remove_suffix(1);
    }
    while (true) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        if (segment.empty() || segment == "." || segment == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        rest = rest.substr(slash + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tav::devhost;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view target = tav::fuzz::takeLine(rest);
    if (const std::optional<RequestTarget> parsed = parseTarget(target)) {
        tav::fuzz::check(plainPath(parsed->path), "a plain path");
        const std::optional<RequestTarget> again =
            parseTarget(encodePath(parsed->path) + "?" + parsed->query);
        tav::fuzz::check(again && again->path == parsed->path && again->query == parsed->query,
                         "the path reads back once encoded");
        (void)queryValues(parsed->query, "token");
    }
    if (const std::optional<std::string> origin = normaliseOrigin(rest)) {
        tav::fuzz::check(normaliseOrigin(*origin) == origin, "an origin normalises to itself");
    }
    return 0;
}

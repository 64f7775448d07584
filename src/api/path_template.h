// Path templates: "/trades/{id}/accept", "/files/{+rest}", "/page{#frag}".
// compileTemplate gives the regular-expression text a template stands for;
// PathPattern is the same template compiled once into literal pieces and
// captures and matched directly, so that matching never recurses per
// character of the path (a path of a megabyte matches like a short one).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tav {

enum class PathParameterKind : std::uint32_t {
    None = 0,      // a "}" outside braces: a parameter without a capture
    Segment = 1,   // {name}: "([^/]*)"
    Rest = 2,      // {+name}: "(.*)"
    Fragment = 3,  // {#name}: "#(.*)"
};

struct PathParameter {
    PathParameterKind kind = PathParameterKind::None;
    std::string name;

    friend bool operator==(const PathParameter&, const PathParameter&) = default;
};

// The regular expression of the template, unanchored (matching is always a
// full match); appends the template's parameters to parameters.
std::string compileTemplate(std::string_view pathTemplate, std::vector<PathParameter>& parameters);

class PathPattern {
public:
    PathPattern() = default;
    // Compiles the template; appends its parameters as compileTemplate does.
    PathPattern(std::string_view pathTemplate, std::vector<PathParameter>& parameters);

    // A full match of path, every capture as greedy as the rest allows,
    // earlier captures first. On success captures holds one text per capture
    // (views into path), in template order.
    bool match(std::string_view path, std::vector<std::string_view>& captures) const;

private:
    struct Piece {
        PathParameterKind capture = PathParameterKind::None;  // None: a literal
        std::string literal;
    };

    bool matchFrom(std::size_t piece, std::string_view path, std::size_t position,
                   std::vector<std::string_view>& captures) const;

    std::vector<Piece> pieces_;
    std::size_t captureCount_ = 0;
};

}  // namespace tav

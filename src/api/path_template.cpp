#include "api/path_template.h"

#include <cstring>

namespace tav {
namespace {

constexpr std::string_view kCaptureExpressions[] = {"", "([^/]*)", "(.*)", "#(.*)"};

// One pass over the template, shared by the expression text and the pattern:
// literal text, captures and parameters in template order.
template <class OnLiteral, class OnParameter>
void walkTemplate(std::string_view pathTemplate, std::vector<PathParameter>& parameters,
                  OnLiteral&& onLiteral, OnParameter&& onParameter) {
    auto state = PathParameterKind::None;
    std::string name;  // not cleared at "{": "{a{b}" names "ab"
    for (const char c : pathTemplate) {
        if (c == '{') {
            state = PathParameterKind::Segment;
        } else if (c == '}') {
            onParameter(state);
            parameters.push_back({state, std::move(name)});
            name.clear();
            state = PathParameterKind::None;
        } else if (state != PathParameterKind::None) {
            if (state == PathParameterKind::Segment && name.empty() && c == '+') {
                state = PathParameterKind::Rest;
            } else if (state == PathParameterKind::Segment && name.empty() && c == '#') {
                state = PathParameterKind::Fragment;
            } else {
                name += c;
            }
        } else {
            onLiteral(c);
        }
    }
}

}  // namespace

std::string compileTemplate(std::string_view pathTemplate, std::vector<PathParameter>& parameters) {
    std::string expression;
    walkTemplate(
        pathTemplate, parameters,
        [&](char c) {
            if (c != '\0' && std::strchr("^$.*+?()[]|\\", c) != nullptr) {
                expression += '\\';
            }
            expression += c;
        },
        [&](PathParameterKind kind) {
            expression += kCaptureExpressions[static_cast<std::uint32_t>(kind)];
        });
    return expression;
}

PathPattern::PathPattern(std::string_view pathTemplate, std::vector<PathParameter>& parameters) {
    auto literal = [this]() -> std::string& {
        if (pieces_.empty() || pieces_.back().capture != PathParameterKind::None) {
            pieces_.emplace_back();
        }
        return pieces_.back().literal;
    };
    walkTemplate(
        pathTemplate, parameters, [&](char c) { literal() += c; },
        [&](PathParameterKind kind) {
            if (kind == PathParameterKind::None) {
                return;
            }
            if (kind == PathParameterKind::Fragment) {
                literal() += '#';
            }
            pieces_.push_back({kind, {}});
            ++captureCount_;
        });
}

bool PathPattern::match(std::string_view path, std::vector<std::string_view>& captures) const {
    captures.assign(captureCount_, std::string_view());
    return matchFrom(0, path, 0, captures);
}

// Recursion is per piece of the template, never per character of the path.
bool PathPattern::matchFrom(std::size_t piece, std::string_view path, std::size_t position,
                            std::vector<std::string_view>& captures) const {
    if (piece == pieces_.size()) {
        return position == path.size();
    }
    const Piece& current = pieces_[piece];
    if (current.capture == PathParameterKind::None) {
        return path.substr(position).starts_with(current.literal) &&
               matchFrom(piece + 1, path, position + current.literal.size(), captures);
    }

    std::size_t capture = 0;
    for (std::size_t i = 0; i < piece; ++i) {
        capture += pieces_[i].capture != PathParameterKind::None ? 1 : 0;
    }
    std::size_t longest = path.size();
    if (current.capture == PathParameterKind::Segment) {
        const std::size_t slash = path.find('/', position);
        longest = slash == std::string_view::npos ? path.size() : slash;
    }
    // Greedy: the longest capture that lets the rest match wins. When a
    // literal follows, only the places where it occurs are worth trying.
    const std::string* next =
        piece + 1 < pieces_.size() && pieces_[piece + 1].capture == PathParameterKind::None
            ? &pieces_[piece + 1].literal
            : nullptr;
    for (std::size_t end = longest + 1; end-- > position;) {
        if (next != nullptr) {
            const std::size_t found = path.rfind(*next, end);
            if (found == std::string_view::npos || found < position) {
                return false;
            }
            end = found;
        } else if (piece + 1 == pieces_.size() && end != path.size()) {
            return false;  // a final capture must reach the end
        }
        if (matchFrom(piece + 1, path, end, captures)) {
            captures[capture] = path.substr(position, end - position);
            return true;
        }
    }
    return false;
}

}  // namespace tav

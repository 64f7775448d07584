#include "scenario_lines.h"

#include <optional>

namespace tav::devhost {
namespace {

// One piece of a line: "- key: v" gives the item marker "-" at its column and
// "key: v" two columns further.
struct Entry {
    std::size_t line;
    std::size_t indent;
    std::string_view content;
};

std::vector<Entry> entriesOf(std::string_view text) {
    std::vector<Entry> entries;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::size_t indent = line.find_first_not_of(' ');
        if (indent == std::string_view::npos) {
            continue;
        }
        std::string_view content = line.substr(indent);
        if (content.starts_with('#') || content.starts_with("---") || content == "\r") {
            continue;
        }
        while (content == "-" || content.starts_with("- ")) {
            entries.push_back({lineNumber, indent, "-"});
            const std::size_t next = content.find_first_not_of(' ', 1);
            if (next == std::string_view::npos) {
                content = {};
                break;
            }
            indent += next;
            content = content.substr(next);
        }
        if (!content.empty()) {
            entries.push_back({lineNumber, indent, content});
        }
    }
    return entries;
}

// The key a "key: value" piece starts with, quoted or plain.
std::optional<std::string_view> keyOf(std::string_view content) {
    if (!content.empty() && (content[0] == '"' || content[0] == '\'')) {
        const std::size_t close = content.find(content[0], 1);
        if (close == std::string_view::npos || content.substr(close + 1, 1) != ":") {
            return std::nullopt;
        }
        return content.substr(1, close - 1);
    }
    const std::size_t colon = content.find(": ");
    if (colon != std::string_view::npos) {
        return content.substr(0, colon);
    }
    if (content.ends_with(':')) {
        return content.substr(0, content.size() - 1);
    }
    return std::nullopt;
}

}  // namespace

std::size_t yamlLineOf(std::string_view text, const std::vector<YamlPathStep>& path) {
    const std::vector<Entry> entries = entriesOf(text);
    std::size_t line = 1;
    std::size_t position = 0;
    long parentIndent = -1;
    for (const YamlPathStep& step : path) {
        const auto* key = std::get_if<std::string>(&step);
        long childIndent = -1;
        std::size_t items = 0;
        bool matched = false;
        for (std::size_t i = position; i < entries.size() && !matched; ++i) {
            const Entry& e = entries[i];
            const long indent = static_cast<long>(e.indent);
            // A sequence may start at its key's own column.
            const bool sameColumnItem =
                key == nullptr && e.content == "-" && indent == parentIndent;
            if (indent <= parentIndent && !sameColumnItem) {
                break;
            }
            if (childIndent < 0) {
                childIndent = indent;
            }
            if (indent != childIndent) {
                continue;
            }
            if (key != nullptr) {
                matched = keyOf(e.content) == std::string_view(*key);
            } else {
                matched = e.content == "-" && items++ == std::get<std::size_t>(step);
            }
            if (matched) {
                line = e.line;
                parentIndent = indent;
                position = i + 1;
            }
        }
        if (!matched) {
            return line;
        }
    }
    return line;
}

}  // namespace tav::devhost

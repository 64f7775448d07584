// Where the values of a scenario's YAML text are, for messages about values
// the YAML reader accepted but the scenario does not. libyaml's events give
// every key and item its line, in block and flow style alike; an alias leads
// to the node it names, so a mistake in a shared value is reported where it
// is written. Also finds what the reader would accept silently: a key given
// twice in one mapping, whose values it merges.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tav::devhost {

// A key of a mapping or a position in a sequence.
using YamlPathStep = std::variant<std::string, std::size_t>;

class YamlLines {
public:
    // Indexes text; a text libyaml refuses leaves the index empty and the
    // 1-based line of the problem in failureLine().
    explicit YamlLines(std::string_view text);

    // The 1-based line of the value at path (of its key, or of the item); of
    // the deepest step found when the rest is not; 1 for an empty path.
    std::size_t lineOf(const std::vector<YamlPathStep>& path) const;

    // Where libyaml stopped on a text it refused; 0 when it did not.
    std::size_t failureLine() const { return failureLine_; }

    struct RepeatedKey {
        std::string key;
        std::size_t line;       // of the repetition
        std::size_t firstLine;  // of the key's first occurrence
    };
    // The first key given twice in one mapping, in document order.
    const std::optional<RepeatedKey>& repeatedKey() const { return repeatedKey_; }

private:
    struct Member {
        std::string key;
        std::size_t line;
        std::size_t node;
    };
    struct Node {
        std::size_t line = 1;
        std::string scalar;              // a scalar's text (keys are scalars)
        std::vector<Member> members;     // of a mapping
        std::vector<std::size_t> items;  // of a sequence
    };

    std::vector<Node> nodes_;  // nodes_[0], when present, is the root
    std::size_t failureLine_ = 0;
    std::optional<RepeatedKey> repeatedKey_;
};

}  // namespace tav::devhost

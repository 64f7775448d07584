// Where the values of a scenario's YAML text are, for messages about values
// the YAML reader accepted but the scenario does not. The reader's marks
// (formats/yaml.h) give every key and item its line, in block and flow style
// alike; an alias leads to the node it names, so a mistake in a shared value
// is reported where it is written. Also finds what the reader would accept
// silently: a key given twice in one mapping, whose values it merges.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/yaml.h"
#include "hosting/module_types.h"

namespace tav::devhost {

// Pass it to readYaml as the mark sink (YamlReadOptions::marks); it indexes
// the text as the reader reads it.
class YamlLines final : public YamlMarkSink {
public:
    YamlLines();

    // The 1-based line of the value at path (of its key, or of the item); of
    // the deepest step found when the rest is not; 1 for an empty path.
    std::size_t lineOf(const std::vector<ValuePathStep>& path) const;

    // Where libyaml stopped on a text it refused; 0 when it did not.
    std::size_t failureLine() const { return failureLine_; }

    struct RepeatedKey {
        std::string key;
        std::size_t line;       // of the repetition
        std::size_t firstLine;  // of the key's first occurrence
    };
    // The first key given twice in one mapping, in document order.
    const std::optional<RepeatedKey>& repeatedKey() const { return repeatedKey_; }

    void mark(const YamlMark& mark) override;
    void parserFailedAt(std::size_t line, std::size_t column) override;

private:
    struct Member {
        std::string key;
        std::size_t line;
        std::size_t node;
    };
    struct Node {
        std::size_t line = 1;
        std::vector<Member> members;     // of a mapping
        std::vector<std::size_t> items;  // of a sequence
    };

    std::vector<Node> nodes_;        // nodes_[0] is the root
    std::vector<std::size_t> open_;  // the nodes around the next mark, the root first
    std::unordered_map<std::string, std::size_t> anchors_;
    std::size_t failureLine_ = 0;
    std::optional<RepeatedKey> repeatedKey_;
};

}  // namespace tav::devhost

#include "simulation/scenario_lines.h"

namespace tav::devhost {

YamlLines::YamlLines() : nodes_(1), open_{0} {}

void YamlLines::mark(const YamlMark& mark) {
    // The marks before this one at its depth or deeper were its earlier
    // siblings and their contents.
    open_.resize(mark.depth);
    const std::size_t parent = open_.back();
    std::size_t node = nodes_.size();
    if (!mark.alias.empty()) {
        const auto found = anchors_.find(std::string(mark.alias));
        if (found != anchors_.end()) {
            node = found->second;
        }
    }
    if (node == nodes_.size()) {
        nodes_.push_back({mark.valueLine, {}, {}});
    }
    if (!mark.anchor.empty()) {
        anchors_[std::string(mark.anchor)] = node;
    }
    if (mark.isItem) {
        nodes_[parent].items.push_back(node);
    } else {
        std::vector<Member>& members = nodes_[parent].members;
        for (const Member& m : members) {
            if (m.key == mark.key && !repeatedKey_) {
                repeatedKey_ = RepeatedKey{std::string(mark.key), mark.line, m.line};
            }
        }
        members.push_back({std::string(mark.key), mark.line, node});
    }
    open_.push_back(node);
}

void YamlLines::parserFailedAt(std::size_t line, std::size_t /*column*/) {
    failureLine_ = line;
}

std::size_t YamlLines::lineOf(const std::vector<ValuePathStep>& path) const {
    std::size_t line = 1;
    const Node* node = &nodes_[0];
    for (const ValuePathStep& step : path) {
        std::size_t next = nodes_.size();
        if (const auto* key = std::get_if<std::string>(&step)) {
            for (const Member& m : node->members) {
                if (m.key == *key) {
                    line = m.line;
                    next = m.node;
                    break;
                }
            }
        } else if (const std::size_t index = std::get<std::size_t>(step);
                   index < node->items.size()) {
            next = node->items[index];
            line = nodes_[next].line;
        }
        if (next == nodes_.size()) {
            return line;
        }
        node = &nodes_[next];
    }
    return line;
}

}  // namespace tav::devhost

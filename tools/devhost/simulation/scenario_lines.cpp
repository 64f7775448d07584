#include "simulation/scenario_lines.h"

#include <unordered_map>

#include <yaml.h>

namespace tav::devhost {
namespace {

// libyaml's parser and its current event, released on every path.
class Events {
public:
    explicit Events(std::string_view text) {
        ready_ = yaml_parser_initialize(&parser_) != 0;
        if (ready_) {
            yaml_parser_set_input_string(
                &parser_, reinterpret_cast<const unsigned char*>(text.data()), text.size());
        }
    }
    ~Events() {
        release();
        if (ready_) {
            yaml_parser_delete(&parser_);
        }
    }
    Events(const Events&) = delete;
    Events& operator=(const Events&) = delete;

    // The next event; false at a failure (or when the parser never started).
    bool next() {
        release();
        held_ = ready_ && yaml_parser_parse(&parser_, &event_) != 0;
        return held_;
    }
    const yaml_event_t& event() const { return event_; }
    // libyaml's marks count from 0.
    std::size_t problemLine() const { return parser_.problem_mark.line + 1; }

private:
    void release() {
        if (held_) {
            yaml_event_delete(&event_);
            held_ = false;
        }
    }

    yaml_parser_t parser_{};
    yaml_event_t event_{};
    bool ready_ = false;
    bool held_ = false;
};

const char* chars(const yaml_char_t* text) {
    return reinterpret_cast<const char*>(text);
}

}  // namespace

YamlLines::YamlLines(std::string_view text) {
    // An open sequence or mapping; a mapping alternates keys and values.
    struct Open {
        std::size_t node;
        bool mapping;
        bool haveKey = false;
        std::string key;
        std::size_t keyLine = 0;
    };
    std::vector<Open> open;
    std::unordered_map<std::string, std::size_t> anchors;
    Events events(text);
    for (;;) {
        if (!events.next()) {
            failureLine_ = events.problemLine();
            nodes_.clear();
            return;
        }
        const yaml_event_t& e = events.event();
        if (e.type == YAML_STREAM_END_EVENT) {
            return;
        }
        if (e.type == YAML_SEQUENCE_END_EVENT || e.type == YAML_MAPPING_END_EVENT) {
            open.pop_back();
            continue;
        }
        const yaml_char_t* anchor = nullptr;
        std::size_t node = 0;
        if (e.type == YAML_ALIAS_EVENT) {
            const auto found = anchors.find(chars(e.data.alias.anchor));
            if (found == anchors.end()) {
                continue;  // the reader refuses it
            }
            node = found->second;
        } else if (e.type == YAML_SCALAR_EVENT || e.type == YAML_SEQUENCE_START_EVENT ||
                   e.type == YAML_MAPPING_START_EVENT) {
            node = nodes_.size();
            nodes_.push_back({e.start_mark.line + 1, {}, {}, {}});
            if (e.type == YAML_SCALAR_EVENT) {
                anchor = e.data.scalar.anchor;
                nodes_.back().scalar.assign(chars(e.data.scalar.value), e.data.scalar.length);
            } else {
                anchor = e.type == YAML_SEQUENCE_START_EVENT ? e.data.sequence_start.anchor
                                                             : e.data.mapping_start.anchor;
            }
        } else {
            continue;  // stream and document starts, document ends
        }
        if (anchor != nullptr) {
            anchors[chars(anchor)] = node;
        }
        if (!open.empty()) {
            Open& parent = open.back();
            if (!parent.mapping) {
                nodes_[parent.node].items.push_back(node);
            } else if (!parent.haveKey) {
                parent.haveKey = true;
                parent.key = nodes_[node].scalar;
                parent.keyLine = nodes_[node].line;
            } else {
                parent.haveKey = false;
                std::vector<Member>& members = nodes_[parent.node].members;
                for (const Member& m : members) {
                    if (m.key == parent.key && !repeatedKey_) {
                        repeatedKey_ = RepeatedKey{parent.key, parent.keyLine, m.line};
                    }
                }
                members.push_back({parent.key, parent.keyLine, node});
            }
        }
        if (e.type == YAML_SEQUENCE_START_EVENT || e.type == YAML_MAPPING_START_EVENT) {
            open.push_back({node, e.type == YAML_MAPPING_START_EVENT, false, {}, 0});
        }
    }
}

std::size_t YamlLines::lineOf(const std::vector<YamlPathStep>& path) const {
    std::size_t line = 1;
    if (nodes_.empty()) {
        return line;
    }
    const Node* node = &nodes_[0];
    for (const YamlPathStep& step : path) {
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

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <yaml.h>

#include "binding/binding_value.h"
#include "binding/native_conversion.h"
#include "formats/value_tree_sink.h"
#include "formats/yaml.h"
#include "text/message.h"

namespace tav {
namespace {

// Every message of the reader. Lines and columns of the builder's own
// messages count from 1; a parser error prints libyaml's mark as it is.
constexpr const char* kMultiDocument = "Multi-document YAML is not supported.";
constexpr const char* kInvalidKey =
    "Invalid mapping key. Only string scalar keys are allowed. At line: %1 col: %2";
constexpr const char* kUnexpectedSequence = "Unexpected start of sequence. At line: %1 col: %2";
constexpr const char* kUnexpectedMapping = "Unexpected start of mapping. At line: %1 col: %2";
constexpr const char* kCyclicAlias =
    "Cannot deserialize cyclic aliases. Alias \"%1\". At line: %2 col: %3";
constexpr const char* kUndefinedAlias = "Undefined alias encountered: \"%1\". At line: %2 col: %3";
constexpr const char* kDuplicateAnchor =
    "Duplicate occurrence of anchor \"%1\". At line: %2 col: %3";
constexpr const char* kUnsupportedTag = "Unsupported YAML tag '%1'.";
constexpr const char* kParserError = "YAML parser error: %1. At line: %2 col: %3";
// %1 is the nesting bound.
constexpr const char* kTooDeep = "YAML nesting exceeds %1 levels. At line: %2 col: %3";
constexpr const char* kTooManyAliasNodes =
    "YAML alias expansion exceeds %1 nodes. At line: %2 col: %3";

constexpr const char* kNumberName = "yaml";

bool isNullWord(std::string_view text) {
    return text.empty() || text == "~" || text == "null" || text == "Null" || text == "NULL";
}

bool isTrueWord(std::string_view text) {
    return text == "true" || text == "True" || text == "TRUE";
}

bool isFalseWord(std::string_view text) {
    return text == "false" || text == "False" || text == "FALSE";
}

// An integer literal as strtod reads it: optional sign, then decimal digits
// or 0x and hex digits. Such texts are re-read exactly, because a double
// cannot hold every 64-bit identifier. Returns false when the magnitude does
// not fit 64 bits or the text has another form.
bool parseIntegerLiteral(std::string_view text, bool& negative, std::uint64_t& magnitude) {
    negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, magnitude, base);
    return !text.empty() && error == std::errc() && stop == end;
}

// The unquoted, untagged number rule: the whole text must be read by strtod
// and must not be +infinity. Integral values become signed (negative) or
// unsigned, an underflow to zero ("1e-400") included; anything with a
// fraction, NaN, and integral values outside the 64-bit ranges (1e30, -inf)
// stay floating point.
bool resolveNumber(const char* text, std::size_t length, BindingValue& target) {
    if (length == 0) {
        return false;
    }
    // Most plain scalars are words or short decimal integers. strtod reads
    // no word that starts with a letter other than those of "inf" and "nan",
    // and an integer of up to 18 digits fits either 64-bit kind: both are
    // settled here as the full rule below would settle them.
    const std::size_t digitsFrom = text[0] == '+' || text[0] == '-' ? 1 : 0;
    if (digitsFrom < length) {
        const char first = text[digitsFrom];
        const char lower = static_cast<char>(first | 0x20);
        if (lower >= 'a' && lower <= 'z' && lower != 'i' && lower != 'n') {
            return false;
        }
        constexpr std::size_t kExactDigits = 18;
        if (length - digitsFrom <= kExactDigits) {
            std::uint64_t magnitude = 0;
            std::size_t at = digitsFrom;
            for (; at < length && text[at] >= '0' && text[at] <= '9'; ++at) {
                magnitude = magnitude * 10 + static_cast<unsigned>(text[at] - '0');
            }
            if (at == length) {
                if (text[0] != '-' || magnitude == 0) {
                    target.setUInt64(magnitude);
                } else {
                    target.setInt64(-static_cast<std::int64_t>(magnitude));
                }
                return true;
            }
        }
    }
    char* end = nullptr;
    const double number = std::strtod(text, &end);  // libyaml zero-terminates the value
    if (end != text + length || number == std::numeric_limits<double>::infinity()) {
        return false;
    }
    if (std::isnan(number) || number != std::trunc(number)) {
        target.setDouble(number);
        return true;
    }
    bool negative = false;
    std::uint64_t magnitude = 0;
    if (parseIntegerLiteral(std::string_view(text, length), negative, magnitude)) {
        if (!negative || magnitude == 0) {
            target.setUInt64(magnitude);
        } else if (magnitude <= std::uint64_t{1} << 63) {
            target.setInt64(static_cast<std::int64_t>(0 - magnitude));
        } else {
            target.setDouble(number);
        }
        return true;
    }
    constexpr double kTwoTo63 = 9223372036854775808.0;
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (number < 0) {  // -0.0 is not negative and reads as unsigned 0
        if (number >= -kTwoTo63) {
            target.setInt64(static_cast<std::int64_t>(number));
        } else {
            target.setDouble(number);
        }
    } else if (number < kTwoTo64) {
        target.setUInt64(static_cast<std::uint64_t>(number));
    } else {
        target.setDouble(number);
    }
    return true;
}

// libyaml's parser and the event being handled, released on every path.
class Parser {
public:
    Parser() : initialized_(yaml_parser_initialize(&parser_) != 0) {}
    ~Parser() {
        if (initialized_) {
            yaml_parser_delete(&parser_);
        }
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    bool initialized() const { return initialized_; }
    yaml_parser_t& get() { return parser_; }

private:
    yaml_parser_t parser_{};
    bool initialized_;
};

class Event {
public:
    Event() = default;
    ~Event() { release(); }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // False on a parser error, which the parser itself records.
    bool next(yaml_parser_t& parser) {
        release();
        held_ = yaml_parser_parse(&parser, &event_) != 0;
        return held_;
    }
    const yaml_event_t& get() const { return event_; }

private:
    void release() {
        if (held_) {
            yaml_event_delete(&event_);
            held_ = false;
        }
    }

    yaml_event_t event_{};
    bool held_ = false;
};

// How a node is reached from its parent: an element index or a member key.
struct Step {
    bool isIndex = false;
    std::size_t index = 0;
    std::string key;
};

constexpr std::size_t kNotPersisted = std::numeric_limits<std::size_t>::max();

// An open node: the root, an open sequence or mapping, or the scalar or alias
// being placed; the tree sink holds the values, these the way to them. The
// anchor is kept for the cycle test.
struct Node {
    Step step;  // unused for the root
    std::string anchor;
    std::size_t persisted = kNotPersisted;  // this node's path, once an anchor needed it
};

// A path kept for an anchor: one step and the path of its parent. Anchors
// share the prefixes of their paths, so that many anchors deep in a document
// cost one step each rather than a copy of the whole path.
struct PersistedStep {
    std::size_t parent;
    Step step;
};

struct Anchor {
    bool isKey = false;
    std::size_t path = 0;
    std::string keyText;
};

class Builder {
public:
    explicit Builder(YamlMarkSink* marks) : sink_(result_.value), marks_(marks) {}

    BindingResult run(const char* text, std::size_t length) {
        Parser parser;
        if (!parser.initialized()) {
            failParser(parser.get());
            return std::move(result_);
        }
        yaml_parser_set_encoding(&parser.get(), YAML_UTF8_ENCODING);
        static const char kNoText[] = "";
        yaml_parser_set_input_string(
            &parser.get(), reinterpret_cast<const unsigned char*>(text != nullptr ? text : kNoText),
            text != nullptr ? length : 0);
        Event event;
        bool streamEnded = false;
        while (result_.ok && !streamEnded && event.next(parser.get())) {
            streamEnded = handle(event.get());
        }
        if (result_.ok && parser.get().error != YAML_NO_ERROR) {
            failParser(parser.get());
        }
        return std::move(result_);
    }

private:
    // Returns true at the end of the stream.
    bool handle(const yaml_event_t& event) {
        switch (event.type) {
            case YAML_STREAM_END_EVENT:
                return true;
            case YAML_DOCUMENT_START_EVENT:
                // A later document may fill a root that the earlier ones left
                // empty ("~"); after a value it is refused, so that a caller
                // never gets a mix of two documents.
                if (result_.value.kind() != BindingValueKind::Empty) {
                    fail(kMultiDocument);
                } else {
                    startDocument();
                }
                return false;
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT:
                if (sink_.depth() != 0) {
                    popNode();
                    sink_.close();
                }
                return false;
            case YAML_SCALAR_EVENT:
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT:
            case YAML_ALIAS_EVENT:
                handleNode(event);
                return false;
            default:  // stream start, document end
                return false;
        }
    }

    // Anchors name nodes of their own document only.
    void startDocument() {
        sink_.restart();
        nodes_.assign(1, Node{{}, {}, 0});
        persisted_.assign(1, {0, {}});  // the root's empty path
        anchors_.clear();
        hasPendingKey_ = false;
    }

    void handleNode(const yaml_event_t& event) {
        mark_ = event.start_mark;
        if (nodes_.empty()) {
            // libyaml gives a document one root node; anything after it
            // could only be another document's content.
            fail(kMultiDocument);
            return;
        }
        if (marks_ != nullptr) {
            reportMark(event);
        }
        // A scalar without an anchor is placed and done: no node of its own,
        // since nothing can refer to it or to the way to it.
        if (event.type == YAML_SCALAR_EVENT && event.data.scalar.anchor == nullptr &&
            (sink_.inCollection() || (sink_.inStructure() && hasPendingKey_))) {
            if (!sink_.inCollection()) {
                sink_.key(pendingKey_);
                hasPendingKey_ = false;
            }
            placeScalar(event);
            return;
        }
        bool keyPosition = false;
        bool pushed = false;
        if (sink_.inCollection()) {
            nodes_.push_back({{true, sink_.nextIndex(), {}}, {}, kNotPersisted});
            pushed = true;
        } else if (sink_.inStructure() && hasPendingKey_) {
            sink_.key(pendingKey_);
            nodes_.push_back({{false, 0, {}}, {}, kNotPersisted});
            // The key's storage moves on with it and comes back when the node
            // closes (popNode), so that long keys cost no allocation each.
            nodes_.back().step.key.swap(pendingKey_);
            pendingKey_.swap(spareKey_);
            hasPendingKey_ = false;
            pushed = true;
        } else {
            keyPosition = sink_.inStructure();
        }
        switch (event.type) {
            case YAML_SCALAR_EVENT:
                handleScalar(event, keyPosition);
                break;
            case YAML_SEQUENCE_START_EVENT:
                if (keyPosition) {
                    failAtMark(kUnexpectedSequence);
                } else {
                    // A repeated key's sequence appends to the earlier one.
                    openContainer(sink_.openCollection(ReopenedCollection::Extend),
                                  event.data.sequence_start.anchor);
                }
                break;
            case YAML_MAPPING_START_EVENT:
                if (keyPosition) {
                    failAtMark(kUnexpectedMapping);
                } else {
                    openContainer(sink_.openStructure(), event.data.mapping_start.anchor);
                }
                break;
            default:
                handleAlias(reinterpret_cast<const char*>(event.data.alias.anchor), keyPosition,
                            pushed);
                break;
        }
    }

    void handleScalar(const yaml_event_t& event, bool keyPosition) {
        const auto& scalar = event.data.scalar;
        const char* text = reinterpret_cast<const char*>(scalar.value);
        const char* tag = reinterpret_cast<const char*>(scalar.tag);
        const char* anchor = reinterpret_cast<const char*>(scalar.anchor);
        if (keyPosition) {
            if (tag != nullptr && std::string_view(tag) != YAML_STR_TAG) {
                failAtMark(kInvalidKey);
                return;
            }
            pendingKey_.assign(text, scalar.length);
            hasPendingKey_ = true;
            pendingKeyMark_ = mark_;
            if (anchor != nullptr && !isDuplicate(anchor)) {
                anchors_.emplace(anchor, Anchor{true, 0, pendingKey_});
            }
            return;
        }
        if (!placeScalar(event)) {
            return;
        }
        if (anchor != nullptr && !recordAnchor(anchor)) {
            return;
        }
        popNode();
    }

    // Tells the mark sink where the value about to be placed is written; a
    // key's own event, and the root, bring no mark.
    void reportMark(const yaml_event_t& event) {
        YamlMark mark;
        if (sink_.inCollection()) {
            mark.isItem = true;
            mark.index = sink_.nextIndex();
            mark.line = line();
            mark.column = column();
        } else if (sink_.inStructure() && hasPendingKey_) {
            mark.key = pendingKey_;
            mark.line = pendingKeyMark_.line + 1;
            mark.column = pendingKeyMark_.column + 1;
        } else {
            return;
        }
        mark.depth = sink_.depth();
        mark.valueLine = line();
        mark.valueColumn = column();
        const yaml_char_t* anchor = nullptr;
        switch (event.type) {
            case YAML_SCALAR_EVENT:
                anchor = event.data.scalar.anchor;
                break;
            case YAML_SEQUENCE_START_EVENT:
                anchor = event.data.sequence_start.anchor;
                break;
            case YAML_MAPPING_START_EVENT:
                anchor = event.data.mapping_start.anchor;
                break;
            default:
                mark.alias = reinterpret_cast<const char*>(event.data.alias.anchor);
                break;
        }
        if (anchor != nullptr) {
            mark.anchor = reinterpret_cast<const char*>(anchor);
        }
        marks_->mark(mark);
    }

    // Sets the slot from a scalar in a value's place. False after a failure.
    bool placeScalar(const yaml_event_t& event) {
        const auto& scalar = event.data.scalar;
        const bool quoted = scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
                            scalar.style == YAML_DOUBLE_QUOTED_SCALAR_STYLE;
        return resolveScalar(sink_.slot(), reinterpret_cast<const char*>(scalar.tag),
                             reinterpret_cast<const char*>(scalar.value), scalar.length, quoted);
    }

    // False after a failure.
    bool resolveScalar(BindingValue& target, const char* tag, const char* text, std::size_t length,
                       bool quoted) {
        const std::string_view view(text, length);
        if (tag == nullptr) {
            if (quoted) {
                target.setString(view);
            } else if (isNullWord(view)) {
                target.reset();
            } else if (!resolveNumber(text, length, target)) {
                if (isTrueWord(view) || isFalseWord(view)) {
                    target.setBool(isTrueWord(view));
                } else {
                    target.setString(view);
                }
            }
            return true;
        }
        const std::string_view tagName(tag);
        if (tagName == YAML_STR_TAG) {
            target.setString(view);
            return true;
        }
        if (tagName == YAML_BOOL_TAG) {
            if (isTrueWord(view) || isFalseWord(view)) {
                target.setBool(isTrueWord(view));
            }  // other words leave the target as it is
            return true;
        }
        if (tagName != YAML_INT_TAG && tagName != YAML_FLOAT_TAG) {
            fail(makeMessage(kUnsupportedTag, tag));
            return false;
        }
        BindingValue input;
        input.setString(view);
        BindingResult conversion;
        if (tagName == YAML_FLOAT_TAG) {
            double number = 0;
            if (detail::valueToFloating(conversion, input, kNumberName,
                                        std::numeric_limits<double>::max(), "double", number)) {
                target.setDouble(number);
            }
        } else if (!view.empty() && view.front() == '-') {
            std::int64_t number = 0;
            if (detail::valueToSigned(
                    conversion, input, kNumberName, std::numeric_limits<std::int64_t>::min(),
                    std::numeric_limits<std::int64_t>::max(), "int64_t", number)) {
                target.setInt64(number);
            }
        } else {
            std::uint64_t number = 0;
            if (detail::valueToUnsigned(conversion, input, kNumberName,
                                        std::numeric_limits<std::uint64_t>::max(), "uint64_t",
                                        number)) {
                target.setUInt64(number);
            }
        }
        if (!conversion.ok) {
            fail(std::string(conversion.error()));
            return false;
        }
        return true;
    }

    // The container's node is the top one; it stays open until its end.
    void openContainer(const BindingValue* opened, const yaml_char_t* anchor) {
        if (opened == nullptr) {
            fail(ValueTreeSink::depthMessage(kTooDeep, line(), column()));
        } else if (anchor != nullptr) {
            recordAnchor(reinterpret_cast<const char*>(anchor));
        }
    }

    void handleAlias(const char* name, bool keyPosition, bool pushed) {
        // The alias's own node cannot carry an anchor; every other node is
        // open and would contain the copy.
        const std::size_t open = nodes_.size() - (pushed ? 1 : 0);
        for (std::size_t i = 0; i < open; ++i) {
            if (nodes_[i].anchor == name) {
                fail(makeMessage(kCyclicAlias, name, line(), column()));
                return;
            }
        }
        const auto found = anchors_.find(name);
        if (found == anchors_.end()) {
            fail(makeMessage(kUndefinedAlias, name, line(), column()));
            return;
        }
        const Anchor& anchor = found->second;
        if (keyPosition) {
            useAliasAsKey(anchor);
            return;
        }
        // The slot first: a new element may move its siblings, one of which
        // can be the source.
        BindingValue& target = sink_.slot();
        if (anchor.isKey) {
            target.setString(anchor.keyText);
            popNode();
            return;
        }
        const BindingValue& source = resolve(anchor.path);
        // A path that now leads to an open node (a repeated key reopened it)
        // refers to a container of the alias itself.
        if (sink_.isOpen(&source)) {
            fail(makeMessage(kCyclicAlias, name, line(), column()));
            return;
        }
        if (!admitCopy(source)) {
            return;
        }
        target = source;
        popNode();
    }

    // Keys are text: an alias in a key's place may name an anchored key or a
    // node that holds a string. Copying anything else into the mapping itself
    // would overwrite the mapping being built.
    void useAliasAsKey(const Anchor& anchor) {
        if (anchor.isKey) {
            pendingKey_ = anchor.keyText;
        } else {
            const BindingValue& source = resolve(anchor.path);
            if (source.kind() != BindingValueKind::String) {
                failAtMark(kInvalidKey);
                return;
            }
            pendingKey_ = std::string(source.asString());
        }
        hasPendingKey_ = true;
        pendingKeyMark_ = mark_;
    }

    // Counts what a copy of source would add against the document's alias
    // budget and the nesting bound. The walk stops as soon as the budget is
    // spent, so that measuring costs no more than the copies it allows.
    bool admitCopy(const BindingValue& source) {
        const std::uint64_t budget = kYamlMaxAliasNodes - aliasNodes_;
        std::uint64_t nodes = 0;
        std::size_t deepest = 0;
        std::vector<std::pair<const BindingValue*, std::size_t>> pending{{&source, 0}};
        while (!pending.empty() && nodes <= budget) {
            const auto [value, depth] = pending.back();
            pending.pop_back();
            ++nodes;
            const BindingValueKind kind = value->kind();
            if (kind != BindingValueKind::Collection && kind != BindingValueKind::Structure) {
                continue;
            }
            deepest = std::max(deepest, depth + 1);
            for (const BindingValue& element : value->elements()) {
                pending.emplace_back(&element, depth + 1);
            }
            for (const BindingMember& member : value->members()) {
                pending.emplace_back(&member.value(), depth + 1);
            }
        }
        if (nodes > budget) {
            fail(makeMessage(kTooManyAliasNodes, kYamlMaxAliasNodes, line(), column()));
            return false;
        }
        // The copy's containers open below the containers that hold it.
        if (!sink_.admits(deepest)) {
            fail(ValueTreeSink::depthMessage(kTooDeep, line(), column()));
            return false;
        }
        aliasNodes_ += nodes;
        return true;
    }

    // Records the anchor of the top frame's node. False after a failure.
    bool recordAnchor(const char* name) {
        if (isDuplicate(name)) {
            return false;
        }
        anchors_.emplace(name, Anchor{false, persistTop(), {}});
        nodes_.back().anchor = name;
        return true;
    }

    bool isDuplicate(const char* name) {
        if (anchors_.find(name) == anchors_.end()) {
            return false;
        }
        fail(makeMessage(kDuplicateAnchor, name, line(), column()));
        return true;
    }

    // The path of the top node, persisting the steps of open nodes that no
    // earlier anchor has persisted yet.
    std::size_t persistTop() {
        std::size_t first = nodes_.size() - 1;
        while (nodes_[first].persisted == kNotPersisted) {
            --first;  // the root node is always persisted
        }
        for (std::size_t i = first + 1; i < nodes_.size(); ++i) {
            persisted_.push_back({nodes_[i - 1].persisted, nodes_[i].step});
            nodes_[i].persisted = persisted_.size() - 1;
        }
        return nodes_.back().persisted;
    }

    // The node a persisted path leads to now. Lookups never insert: a path
    // whose node was since replaced (a repeated key's scalar) leads to an
    // empty value.
    const BindingValue& resolve(std::size_t path) const {
        std::vector<const Step*> steps;
        for (; path != 0; path = persisted_[path].parent) {
            steps.push_back(&persisted_[path].step);
        }
        const BindingValue* node = &result_.value;
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            node = (*it)->isIndex ? &node->elementAt((*it)->index) : &node->find((*it)->key);
        }
        return *node;
    }

    std::size_t line() const { return mark_.line + 1; }
    std::size_t column() const { return mark_.column + 1; }

    void failAtMark(const char* format) { fail(makeMessage(format, line(), column())); }

    void fail(const std::string& message) { result_.fail(message); }

    void popNode() {
        spareKey_.swap(nodes_.back().step.key);
        nodes_.pop_back();
    }

    void failParser(const yaml_parser_t& parser) {
        // libyaml leaves the problem unset when it runs out of memory.
        const char* problem = parser.problem != nullptr ? parser.problem : "out of memory";
        if (marks_ != nullptr) {
            marks_->parserFailedAt(parser.problem_mark.line + 1, parser.problem_mark.column + 1);
        }
        fail(makeMessage(kParserError, problem, parser.problem_mark.line,
                         parser.problem_mark.column));
    }

    BindingResult result_;
    ValueTreeSink sink_;
    std::vector<Node> nodes_;
    std::vector<PersistedStep> persisted_;
    std::unordered_map<std::string, Anchor> anchors_;
    // A separate flag, so that the empty text is a key like any other.
    std::string pendingKey_;
    std::string spareKey_;  // storage for the next key
    bool hasPendingKey_ = false;
    std::uint64_t aliasNodes_ = 0;
    yaml_mark_t mark_{};
    YamlMarkSink* marks_;
    yaml_mark_t pendingKeyMark_{};  // kept only for marks_
};

}  // namespace

BindingResult readYaml(const char* text, std::size_t length, const YamlReadOptions& options) {
    return Builder(options.marks).run(text, length);
}

BindingResult readYaml(std::string_view text, const YamlReadOptions& options) {
    return readYaml(text.data(), text.size(), options);
}

}  // namespace tav

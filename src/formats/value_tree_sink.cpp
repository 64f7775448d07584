#include "formats/value_tree_sink.h"

#include <algorithm>

namespace tav {

ValueTreeSink::~ValueTreeSink() {
    closeAll();
    shapes_.releaseShapes();
}

void ValueTreeSink::closeAll() noexcept {
    try {
        while (!open_.empty()) {
            close();
        }
    } catch (...) {
        // No memory for a collection's block: its staged elements, and any
        // staged container still open, go rather than leak, their members
        // in their trees first.
        for (std::size_t depth = open_.size(); depth > 0; --depth) {
            if (open_[depth - 1].next == kStructure && predicting_) {
                shapes_.close(depth);
            }
        }
        open_.clear();
        stack_.truncate(0);
    }
}

ValueTreeSink::Open ValueTreeSink::place(std::size_t next) {
    if (!open_.empty() && open_.back().next == kStaged) {
        const std::size_t at = stack_.size();
        slot();
        return {nullptr, at, next, 0};
    }
    return {&slot(), 0, next, 0};
}

BindingValue* ValueTreeSink::openStructure() {
    if (!admits(1)) {
        return nullptr;
    }
    const Open opened = place(kStructure);
    BindingValue& structure = container(opened);
    structure.makeStructure();
    open_.push_back(opened);
    if (predicting_) {
        try {
            shapes_.open(structure, open_.size());
        } catch (...) {
            open_.pop_back();  // the predictor and the sink agree on what is open
            throw;
        }
    }
    return &structure;
}

BindingValue* ValueTreeSink::openCollection(ReopenedCollection reopened) {
    if (!admits(1)) {
        return nullptr;
    }
    Open opened = place(0);
    BindingValue& collection = container(opened);
    collection.makeCollection();
    if (staging_ && collection.elements().empty()) {
        opened.next = kStaged;
        opened.base = stack_.size();
    } else if (reopened == ReopenedCollection::Extend) {
        opened.next = collection.size();
    }
    open_.push_back(opened);
    return &collection;
}

bool ValueTreeSink::isOpen(const BindingValue* value) const noexcept {
    return std::any_of(open_.begin(), open_.end(),
                       [value](const Open& open) { return open.value == value; });
}

}  // namespace tav

#include "formats/value_tree_sink.h"

#include <algorithm>

namespace tav {

BindingValue* ValueTreeSink::openStructure() {
    if (!admits(1)) {
        return nullptr;
    }
    BindingValue& structure = slot();
    structure.makeStructure();
    open_.push_back({&structure, kStructure});
    return &structure;
}

BindingValue* ValueTreeSink::openCollection(ReopenedCollection reopened) {
    if (!admits(1)) {
        return nullptr;
    }
    BindingValue& collection = slot();
    collection.makeCollection();
    open_.push_back(
        {&collection, reopened == ReopenedCollection::Extend ? collection.size() : std::size_t{0}});
    return &collection;
}

bool ValueTreeSink::isOpen(const BindingValue* value) const noexcept {
    return std::any_of(open_.begin(), open_.end(),
                       [value](const Open& open) { return open.value == value; });
}

}  // namespace tav

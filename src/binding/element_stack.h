// Elements of collections under construction, kept on one stack until each
// collection is complete and then handed to it in a block of exactly their
// number. A reader that learns an array's length only at its end would
// otherwise grow every array one element at a time: a reallocation and a copy
// per element of each small array, and up to half of each large one unused.
#pragma once

#include <cstddef>
#include <new>

#include "binding/binding_value.h"

namespace tav {

// The elements of the innermost open collection are on top; a collection
// opened among them is itself an element below its own. Values move when the
// stack grows, so callers hold indices, not references, across a push.
class ElementStack {
public:
    ElementStack() noexcept = default;
    ~ElementStack() { truncate(0); }
    ElementStack(const ElementStack&) = delete;
    ElementStack& operator=(const ElementStack&) = delete;

    std::size_t size() const noexcept { return size_; }

    // A new empty element of parent's tree on top, parent being the collection
    // whose elements start at base. Throws std::length_error past
    // BindingValue::kMaxElements elements from base, as BindingValue::element
    // does.
    BindingValue& push(const BindingValue& parent, std::size_t base) {
        if (size_ - base >= BindingValue::kMaxElements) {
            throwTooLong();
        }
        BindingValueContext* const context = parent.contextOf();  // parent may be on the stack
        if (size_ == capacity_) {
            grow();
        }
        return *new (values() + size_++) BindingValue(context, BindingValue::ChildTag{});
    }

    BindingValue& operator[](std::size_t index) noexcept { return values()[index]; }

    // Moves the elements from base up into collection, an empty collection of
    // their tree, in one exact block; the stack ends at base afterwards. On
    // failure to allocate nothing has changed.
    void moveInto(BindingValue& collection, std::size_t base) {
        collection.adoptElements(values() + base, size_ - base);
        size_ = base;  // relocated, not destroyed
    }

    // Destroys the elements from base up.
    void truncate(std::size_t base) noexcept;

private:
    [[noreturn]] static void throwTooLong();
    void grow();
    BindingValue* values() noexcept { return static_cast<BindingValue*>(storage_); }

    void* storage_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace tav

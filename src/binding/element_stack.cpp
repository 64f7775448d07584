#include "binding/element_stack.h"

#include <cstring>
#include <stdexcept>

#include "diag/allocation.h"

namespace tav {

void ElementStack::throwTooLong() {
    throw std::length_error("vector<T> too long");
}

// Values hold no pointers to themselves: their bytes can move with the block.
void ElementStack::grow() {
    const std::size_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
    if (capacity > static_cast<std::size_t>(-1) / sizeof(BindingValue)) {
        diag::throwBadAlloc();
    }
    void* storage = diag::reallocate(storage_, capacity * sizeof(BindingValue));
    if (storage == nullptr) {
        diag::throwBadAlloc();
    }
    storage_ = storage;
    capacity_ = capacity;
}

void ElementStack::truncate(std::size_t base) noexcept {
    while (size_ > base) {
        values()[--size_].~BindingValue();
    }
    if (base == 0 && storage_ != nullptr) {
        diag::deallocate(storage_);
        storage_ = nullptr;
        capacity_ = 0;
    }
}

}  // namespace tav

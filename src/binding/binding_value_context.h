// The arena of one value tree: the table of interned strings and the slot
// pools from which every small fixed-size object of the tree (payload headers,
// map nodes, string entries) is carved, with the tree's heap element arrays.
// Created by the tree's root when first needed, in a page of the value page
// pool, and freed with it; tests and benchmarks look inside through
// binding/testing/binding_value_context_probe.h.
#pragma once

#include <cstddef>

#include "binding/append_hints.h"
#include "binding/binding_value.h"
#include "binding/slot_pools.h"
#include "binding/string_table.h"

namespace tav {

namespace detail {

// The element arrays a tree holds on the heap, each behind a link of this
// list, so that a whole tree can free them without walking its values.
struct alignas(8) HeapLink {
    HeapLink* prev;
    HeapLink* next;
};

}  // namespace detail

// Aligned beyond what the heap promises: values keep their kind in the low
// bits of their context's address.
class alignas(BindingValue::kContextAlignment) BindingValueContext {
public:
    static BindingValueContext* create();
    // Every string and slot must have been released.
    static void destroy(BindingValueContext* context) noexcept;
    // Frees the context with whatever strings, slots and heap element arrays
    // it still holds, without releasing them one by one. Blob bytes must have
    // been freed before (blobCount tells whether there are any).
    static void discard(BindingValueContext* context) noexcept;

    // Element arrays on the heap: size bytes behind a link of the context's
    // list; null when the heap refuses.
    void* allocateHeapArray(std::size_t size) noexcept;
    void* reallocateHeapArray(void* array, std::size_t size) noexcept;
    void freeHeapArray(void* array) noexcept;

    // Blobs of the tree: their bytes are on the heap and are found by walking it.
    std::size_t& blobCount() noexcept { return blobs_; }

    BindingValueContext(const BindingValueContext&) = delete;
    BindingValueContext& operator=(const BindingValueContext&) = delete;

    detail::SlotPools& pools() noexcept { return pools_; }
    detail::StringTable& strings() noexcept { return strings_; }
    detail::AppendHints& appendHints() noexcept { return appendHints_; }

private:
    // Tests and benchmarks look inside (binding/testing/).
    friend struct BindingValueContextProbe;

    BindingValueContext() noexcept : heapArrays_{&heapArrays_, &heapArrays_} {}
    ~BindingValueContext() = default;

    detail::SlotPools pools_;
    detail::StringTable strings_;
    detail::AppendHints appendHints_;
    detail::HeapLink heapArrays_;  // a ring through this sentinel
    std::size_t blobs_ = 0;
};

}  // namespace tav

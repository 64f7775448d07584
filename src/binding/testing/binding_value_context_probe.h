// What tests and benchmarks read inside a value tree's context: its strings
// and its pools. Only they include this header (the module has no use for it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "binding/binding_value_context.h"

namespace tav {

struct BindingValueContextProbe {
    static std::size_t stringCount(const BindingValueContext& context) noexcept {
        return context.strings_.size();
    }
    static std::size_t stringBucketCount(const BindingValueContext& context) noexcept {
        return context.strings_.bucketCount();
    }
    static std::size_t longestStringChain(const BindingValueContext& context) noexcept {
        return context.strings_.longestChain();
    }
    // References held on the interned text, 0 when it is not interned.
    static std::uint32_t stringReferences(const BindingValueContext& context,
                                          std::string_view text) noexcept {
        const detail::InternedString* entry = context.strings_.lookup(text);
        return entry != nullptr ? entry->references : 0;
    }
    // 4096-byte pages the slot pools hold, and slots currently allocated.
    static std::size_t pageCount(const BindingValueContext& context) noexcept {
        return context.pools_.pageCount();
    }
    static std::size_t slotsInUse(const BindingValueContext& context) noexcept {
        return context.pools_.slotsInUse();
    }
};

}  // namespace tav

// Where a structure of a value tree ends, remembered for a few structures so
// that members arriving in key order are appended without a descent.
#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/binding_value.h"

namespace tav::detail {

// For a few structures of the tree, the member with the largest key, kept
// only while every key the structure received since went past it: a key past
// it then needs no descent. Documents written by our own writers list members
// in key order, so readers mostly insert there. The three-word structure
// header has no room for this, and walking down to the largest member on every
// insertion costs more than it saves when keys come in another order.
class AppendHints {
public:
    // The hint for header, which is dropped: the caller gives it back through
    // remember if the structure still ends with that member.
    BindingMember* take(const StructureHeader* header) noexcept {
        Slot& slot = slots_[indexOf(header)];
        if (slot.header != header) {
            return nullptr;
        }
        slot.header = nullptr;
        return slot.last;
    }
    void remember(const StructureHeader* header, BindingMember* last) noexcept {
        slots_[indexOf(header)] = {header, last};
    }
    // For a structure that goes: another may get its header's storage.
    void forget(const StructureHeader* header) noexcept {
        Slot& slot = slots_[indexOf(header)];
        if (slot.header == header) {
            slot.header = nullptr;
        }
    }

private:
    // A reader nests structures: one slot per open level or so.
    static constexpr std::size_t kSlots = 8;

    struct Slot {
        const StructureHeader* header = nullptr;
        BindingMember* last = nullptr;
    };

    static std::size_t indexOf(const StructureHeader* header) noexcept {
        // Headers sit a few words apart in the pool pages; counting in words
        // spreads neighbours over the slots.
        return reinterpret_cast<std::uintptr_t>(header) / sizeof(void*) % kSlots;
    }

    Slot slots_[kSlots];
};

}  // namespace tav::detail

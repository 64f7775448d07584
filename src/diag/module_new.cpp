// The module's own operator new and delete, every form, over the counting
// allocation functions: the standard containers, strings and objects of the
// module are then counted in its memory statistics like its C allocations.
//
// Linked into the module file only, never into the libraries, so that test
// programs and tools keep their own. The module exports nothing but its entry
// (and on Linux links the C++ runtime into itself), so these definitions bind
// the module's calls, the runtime's inside the module included, and leave the
// host's operator new alone.
#include <cstddef>
#include <cstdint>
#include <new>

#include "diag/allocation.h"

namespace {

void* allocateOrHandle(std::size_t size) {
    if (size == 0) {
        size = 1;
    }
    for (;;) {
        if (void* block = tav::diag::allocate(size)) {
            return block;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            return nullptr;
        }
        handler();
    }
}

void* allocateOrThrow(std::size_t size) {
    if (void* block = allocateOrHandle(size)) {
        return block;
    }
    throw std::bad_alloc();
}

// Over-aligned blocks: the counting functions give malloc's alignment, so the
// block is over-allocated and the address malloc returned is kept in the word
// just below the aligned one.
void* allocateAligned(std::size_t size, std::align_val_t alignment) {
    const auto align = static_cast<std::size_t>(alignment);
    if (align == 0 || (align & (align - 1)) != 0 ||
        size > static_cast<std::size_t>(-1) - align - sizeof(void*)) {
        return nullptr;
    }
    void* raw = allocateOrHandle(size + align + sizeof(void*));
    if (raw == nullptr) {
        return nullptr;
    }
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
    const std::uintptr_t aligned = (first + align - 1) & ~(static_cast<std::uintptr_t>(align) - 1);
    static_cast<void**>(reinterpret_cast<void*>(aligned))[-1] = raw;
    return reinterpret_cast<void*>(aligned);
}

void* allocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    if (void* block = allocateAligned(size, alignment)) {
        return block;
    }
    throw std::bad_alloc();
}

void freeAligned(void* block) {
    if (block != nullptr) {
        tav::diag::deallocate(static_cast<void**>(block)[-1]);
    }
}

}  // namespace

void* operator new(std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrHandle(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrHandle(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocateAlignedOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}

void operator delete(void* block) noexcept {
    tav::diag::deallocate(block);
}
void operator delete[](void* block) noexcept {
    tav::diag::deallocate(block);
}
void operator delete(void* block, std::size_t) noexcept {
    tav::diag::deallocate(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    tav::diag::deallocate(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    tav::diag::deallocate(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    tav::diag::deallocate(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    freeAligned(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    freeAligned(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    freeAligned(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    freeAligned(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    freeAligned(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    freeAligned(block);
}

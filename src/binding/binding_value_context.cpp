#include "binding/binding_value_context.h"

#include <new>

#include "binding/binding_page_pool.h"
#include "diag/allocation.h"

namespace tav {

// A context is some 3 KB, built and dropped with every tree, most trees are
// small and short-lived: a pool page is at hand without a heap call, and the
// pages kept between trees make the next one free of mapping too.
static_assert(sizeof(BindingValueContext) <= BindingPagePool::kPageSize);
static_assert(BindingPagePool::kPageSize % alignof(BindingValueContext) == 0);

BindingValueContext* BindingValueContext::create() {
    return new (BindingPagePool::instance().takePage()) BindingValueContext();
}

void BindingValueContext::destroy(BindingValueContext* context) noexcept {
    context->~BindingValueContext();
    BindingPagePool::instance().returnPage(context);
}

namespace {

void linkAfter(detail::HeapLink* sentinel, detail::HeapLink* link) noexcept {
    link->prev = sentinel;
    link->next = sentinel->next;
    sentinel->next->prev = link;
    sentinel->next = link;
}

void unlink(detail::HeapLink* link) noexcept {
    link->prev->next = link->next;
    link->next->prev = link->prev;
}

detail::HeapLink* linkOf(void* array) noexcept {
    return reinterpret_cast<detail::HeapLink*>(static_cast<unsigned char*>(array) -
                                               sizeof(detail::HeapLink));
}

}  // namespace

void* BindingValueContext::allocateHeapArray(std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - sizeof(detail::HeapLink)) {
        return nullptr;
    }
    void* block = diag::allocate(sizeof(detail::HeapLink) + size);
    if (block == nullptr) {
        return nullptr;
    }
    auto* link = static_cast<detail::HeapLink*>(block);
    linkAfter(&heapArrays_, link);
    return link + 1;
}

void* BindingValueContext::reallocateHeapArray(void* array, std::size_t size) noexcept {
    if (size > static_cast<std::size_t>(-1) - sizeof(detail::HeapLink)) {
        return nullptr;
    }
    detail::HeapLink* link = linkOf(array);
    unlink(link);
    void* block = diag::reallocate(link, sizeof(detail::HeapLink) + size);
    if (block != nullptr) {
        link = static_cast<detail::HeapLink*>(block);
    }
    linkAfter(&heapArrays_, link);  // the old block stays when the heap refuses
    return block != nullptr ? link + 1 : nullptr;
}

void BindingValueContext::freeHeapArray(void* array) noexcept {
    detail::HeapLink* link = linkOf(array);
    unlink(link);
    diag::deallocate(link);
}

// The string entries live in pool slots, so their characters are freed while
// the pages still hold them.
void BindingValueContext::discard(BindingValueContext* context) noexcept {
    detail::HeapLink* const sentinel = &context->heapArrays_;
    for (detail::HeapLink* link = sentinel->next; link != sentinel;) {
        detail::HeapLink* const next = link->next;
        diag::deallocate(link);
        link = next;
    }
    context->strings_.dropAll();
    context->pools_.releaseAll();
    destroy(context);
}

}  // namespace tav

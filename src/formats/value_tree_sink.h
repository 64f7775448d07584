// The tree builder under the JSON, MessagePack and YAML readers. A reader
// translates its own events into openStructure/openCollection, key, slot
// (scalars are set into the slot) and close; the sink decides where each
// value lands and bounds the nesting. Messages and positions stay with the
// readers.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "binding/element_stack.h"
#include "binding/shape_predictor.h"
#include "formats/nesting_stack.h"
#include "text/message.h"

namespace tav {

// Arrays, maps, sequences and mappings may nest this deep in any reader;
// opening one more fails. Trees are copied, walked and destroyed recursively
// later, so the bound protects those too.
inline constexpr std::size_t kValueTreeMaxDepth = 512;

// What opening a collection does to one that is already there (a repeated
// key's member): keep its elements and append after them, or write the new
// elements over them from index 0.
enum class ReopenedCollection { Extend, Overwrite };

// Whether a new collection's elements wait on a stack until it closes and
// then move into a block of their exact number (a reader that learns a
// length only at the end), or go straight into the collection (a reader
// that reserves the length it was told, or that must reach open
// collections' elements through the tree, as YAML's aliases do).
enum class ElementStaging { Off, On };

// Whether the keys of a new structure are predicted from the structures closed
// before it at its depth (binding/shape_predictor.h). Not for a reader that
// reaches open structures through the tree, as YAML's merge keys do.
enum class KeyPrediction { Off, On };

// The per-value events (slot, key, close) are inline and not virtual: the
// readers call them once per value, so any overhead here would show on every
// element. Opening a container allocates its payload anyway.
//
// Pointers to open containers stay valid: only the innermost container
// grows, and it is never an element of itself. A staged container (an
// element of a staged collection) is reached through its index on the
// stack.
class ValueTreeSink {
public:
    explicit ValueTreeSink(BindingValue& root, ElementStaging staging = ElementStaging::Off,
                           KeyPrediction prediction = KeyPrediction::Off)
        : root_(root),
          current_(&root),
          staging_(staging == ElementStaging::On),
          predicting_(prediction == KeyPrediction::On) {}
    // Whatever is still open is closed, staged elements moved into their
    // collections: a reader that stops early leaves the tree as far as it
    // read.
    ~ValueTreeSink();
    ValueTreeSink(const ValueTreeSink&) = delete;
    ValueTreeSink& operator=(const ValueTreeSink&) = delete;

    // Starts over at the root, with nothing open (a later document that
    // fills an empty root).
    void restart() noexcept {
        closeAll();
        current_ = &root_;
    }
    // Closes everything and lets go of the tree, which may then be moved or
    // replaced: a reader that hands its root on or fails calls it first.
    void finish() noexcept {
        restart();
        shapes_.releaseShapes();
    }

    // The value the next event fills: a new (or, when overwriting, the next)
    // element of an open collection, otherwise the member the last key
    // named, or the root. A reader sets a scalar into it; leaving it as it
    // is reads null without touching what a repeated key's member holds.
    // The reference lasts until the next event.
    BindingValue& slot() {
        if (!open_.empty() && open_.back().next != kStructure) {
            Open& top = open_.back();
            if (top.next == kStaged) {
                return stack_.push(container(top), top.base);
            }
            return container(top).element(top.next++);
        }
        return *current_;
    }

    // Names the member of the innermost structure that the next value fills,
    // inserting it when it is new.
    void key(std::string_view name) {
        BindingValue& structure = container(open_.back());
        current_ =
            predicting_ ? &shapes_.key(structure, name, open_.size()) : &structure.member(name);
    }

    // Makes the slot a structure (a structure already there keeps its
    // members) or a collection and opens it. Null when that would nest past
    // kValueTreeMaxDepth; nothing is changed then. The pointer lasts until the
    // next event.
    BindingValue* openStructure();
    BindingValue* openCollection(ReopenedCollection reopened);

    void close() {
        Open& top = open_.back();
        if (top.next == kStaged) {
            stack_.moveInto(container(top), top.base);
        } else if (top.next == kStructure && predicting_) {
            shapes_.close(open_.size());
        }
        open_.pop_back();
    }

    std::size_t depth() const noexcept { return open_.size(); }
    // Whether that many more levels below the open containers stay within
    // the bound (an alias copy's depth, say).
    bool admits(std::size_t extra) const noexcept {
        return open_.size() + extra <= kValueTreeMaxDepth;
    }

    bool inCollection() const noexcept { return !open_.empty() && open_.back().next != kStructure; }
    bool inStructure() const noexcept { return !open_.empty() && open_.back().next == kStructure; }
    // The index the next element of the innermost collection gets (not
    // staged).
    std::size_t nextIndex() const noexcept { return open_.back().next; }
    // Whether value is one of the open containers (not staged).
    bool isOpen(const BindingValue* value) const noexcept;

    // A reader's nesting message with the bound as %1 and the reader's own
    // position arguments after it.
    template <class... Position>
    static std::string depthMessage(const char* format, const Position&... position) {
        return makeMessage(format, kValueTreeMaxDepth, position...);
    }

private:
    static constexpr std::size_t kStructure = std::numeric_limits<std::size_t>::max();
    static constexpr std::size_t kStaged = kStructure - 1;

    // An open container. next is kStructure for a structure, kStaged for a
    // collection whose elements from base up are on the stack, else the
    // index of its next element. value is null for a container that is
    // itself staged, at index at.
    struct Open {
        BindingValue* value;
        std::size_t at;
        std::size_t next;
        std::size_t base;
    };

    BindingValue& container(const Open& open) noexcept {
        return open.value != nullptr ? *open.value : stack_[open.at];
    }
    // Where a new container goes: the slot, or a new element on the stack.
    Open place(std::size_t next);
    void closeAll() noexcept;

    BindingValue& root_;
    BindingValue* current_;
    NestingStack<Open> open_;  // innermost last
    ElementStack stack_;
    detail::ShapePredictor shapes_;
    bool staging_;
    bool predicting_;
};

}  // namespace tav

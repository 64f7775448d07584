// The ordered map of a structure's members: a red-black tree whose nodes are
// the BindingMember objects themselves, ordered by the bytes of their keys.
// Members are only ever added; they leave all together with their structure.
// checkMemberTree verifies the tree's invariants, for tests and debugging.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string_view>

#include "binding/binding_value.h"

namespace tav::detail {

// The next 8 bytes as a number that orders as the bytes do.
inline std::uint64_t orderedWord(const char* bytes) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
    }
    return word;
}

// Byte order of unsigned characters with the shorter text first on a common
// prefix: the order of strcmp for every key without an embedded zero. Keys
// are short: comparing a word at a time in line beats a library call.
inline int compareMemberKey(std::string_view key, const InternedString* entry) noexcept {
    const std::size_t common = std::min(key.size(), entry->length);
    const char* a = key.data();
    const char* b = entry->chars;
    std::size_t at = 0;
    for (; at + 8 <= common; at += 8) {
        const std::uint64_t x = orderedWord(a + at);
        const std::uint64_t y = orderedWord(b + at);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    for (; at < common; ++at) {
        const auto x = static_cast<unsigned char>(a[at]);
        const auto y = static_cast<unsigned char>(b[at]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (key.size() == entry->length) {
        return 0;
    }
    return key.size() < entry->length ? -1 : 1;
}

// A node's key and where it sits in its tree, by the positions of the nodes
// in some list of them: its children and parent, the list's length standing
// for none, and its colour.
struct TreePosition {
    InternedString* key;
    std::uint16_t left;
    std::uint16_t right;
    std::uint16_t parent;
    bool red;
};

struct MemberTree {
    using Node = BindingMember;
    // Lists of nodes that positions describe are shorter than this.
    static constexpr std::size_t kMaxPositions = 0xFFFF;

    // The parent pointer carries the colour in its low bit.
    static Node* parentOf(const Node* node) noexcept {
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the colour shares the word
        return reinterpret_cast<Node*>(node->parentAndRed_ & ~std::uintptr_t{1});
    }
    static bool isRed(const Node* node) noexcept {
        return node != nullptr && (node->parentAndRed_ & 1) != 0;
    }
    static Node* left(const Node* node) noexcept { return node->left_; }
    static Node* right(const Node* node) noexcept { return node->right_; }
    static const InternedString* keyOf(const Node* node) noexcept { return node->key_; }

    static const Node* find(const Node* node, std::string_view key) noexcept {
        while (node != nullptr) {
            const int order = compareMemberKey(key, node->key_);
            if (order == 0) {
                return node;
            }
            node = order < 0 ? node->left_ : node->right_;
        }
        return nullptr;
    }

    static const Node* first(const Node* node) noexcept {
        if (node != nullptr) {
            while (node->left_ != nullptr) {
                node = node->left_;
            }
        }
        return node;
    }

    static const Node* next(const Node* node) noexcept {
        if (node->right_ != nullptr) {
            return first(node->right_);
        }
        const Node* parent = parentOf(node);
        while (parent != nullptr && node == parent->right_) {
            node = parent;
            parent = parentOf(parent);
        }
        return parent;
    }

    // Hangs the new node at link, a free child slot of parent (null for the
    // root) found by descending with compareMemberKey, and rebalances.
    static void insert(StructureHeader& header, Node* parent, Node** link, Node* node) noexcept {
        node->parentAndRed_ = reinterpret_cast<std::uintptr_t>(parent) | 1;
        *link = node;
        insertFixup(header, node);
    }

    // A node with the shape and colour of from, below parent.
    static void copyLinks(const Node* from, Node* parent, Node* node) noexcept {
        node->parentAndRed_ = reinterpret_cast<std::uintptr_t>(parent) | (from->parentAndRed_ & 1);
    }

    // The key and the position of each of the count nodes of a whole tree,
    // listed in any order; returns the root's position.
    static std::uint16_t positionsOf(Node* const* nodes, std::size_t count,
                                     TreePosition* positions) noexcept;
    // Links count new nodes, which hold their keys already, as positions
    // describe, making them header's tree. nodes[count] is null.
    static void linkByPositions(StructureHeader& header, Node* const* nodes, std::size_t count,
                                const TreePosition* positions, std::uint16_t root) noexcept {
        for (std::size_t i = 0; i < count; ++i) {
            const TreePosition& at = positions[i];
            Node* const node = nodes[i];
            node->left_ = nodes[at.left];
            node->right_ = nodes[at.right];
            node->parentAndRed_ =
                reinterpret_cast<std::uintptr_t>(nodes[at.parent]) | (at.red ? 1 : 0);
        }
        header.root = nodes[root];
        header.count = count;
    }

    // A node of context's tree for key, whose reference it takes, in slot.
    static Node* construct(void* slot, InternedString* key, BindingValueContext* context) noexcept {
        return new (slot) Node(key, context);
    }

    // Post-order without a stack: a node goes to release once both of its
    // subtrees have.
    template <class Release>
    static void destroy(Node* node, Release release) noexcept {
        while (node != nullptr) {
            if (node->left_ != nullptr) {
                node = node->left_;
            } else if (node->right_ != nullptr) {
                node = node->right_;
            } else {
                Node* parent = parentOf(node);
                if (parent != nullptr) {
                    (parent->left_ == node ? parent->left_ : parent->right_) = nullptr;
                }
                release(node);
                node = parent;
            }
        }
    }

private:
    static void insertFixup(StructureHeader& header, Node* node) noexcept;
    static void rotateLeft(StructureHeader& header, Node* x) noexcept;
    static void rotateRight(StructureHeader& header, Node* x) noexcept;
    static void replaceChild(StructureHeader& header, Node* parent, Node* from, Node* to) noexcept;
    static void setParent(Node* node, Node* parent) noexcept {
        node->parentAndRed_ = reinterpret_cast<std::uintptr_t>(parent) | (node->parentAndRed_ & 1);
    }
    static void setRed(Node* node, bool red) noexcept {
        node->parentAndRed_ = (node->parentAndRed_ & ~std::uintptr_t{1}) | (red ? 1 : 0);
    }
};

// For building a structure's tree other than one member at a time
// (shape_predictor.h); defined with the value.
StructureHeader& structureHeader(BindingValue& structure) noexcept;
// Hangs a node made by MemberTree::construct into header's tree, which holds
// no member of its key.
void linkMember(StructureHeader& header, BindingMember* node) noexcept;
// BindingValue::member, which gives the node; inserted tells whether it is new.
BindingMember& memberNode(BindingValue& structure, std::string_view key, bool& inserted);
InternedString* keyEntry(const BindingMember& member) noexcept;

// What is wrong with the member tree of value, or null when it is sound (and
// for a value that is not a structure): the root is black, no red node has a
// red child, every path down has as many black nodes, children point back to
// their parents, keys ascend, and the nodes are as many as the members.
const char* checkMemberTree(const BindingValue& value) noexcept;

}  // namespace tav::detail

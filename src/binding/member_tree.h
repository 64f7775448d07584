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

struct MemberTree {
    using Node = BindingMember;

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

// What is wrong with the member tree of value, or null when it is sound (and
// for a value that is not a structure): the root is black, no red node has a
// red child, every path down has as many black nodes, children point back to
// their parents, keys ascend, and the nodes are as many as the members.
const char* checkMemberTree(const BindingValue& value) noexcept;

}  // namespace tav::detail

#include "binding/member_tree.h"

namespace tav::detail {

void MemberTree::replaceChild(StructureHeader& header, Node* parent, Node* from,
                              Node* to) noexcept {
    if (parent == nullptr) {
        header.root = to;
    } else if (parent->left_ == from) {
        parent->left_ = to;
    } else {
        parent->right_ = to;
    }
}

void MemberTree::rotateLeft(StructureHeader& header, Node* x) noexcept {
    Node* y = x->right_;
    x->right_ = y->left_;
    if (y->left_ != nullptr) {
        setParent(y->left_, x);
    }
    Node* parent = parentOf(x);
    setParent(y, parent);
    replaceChild(header, parent, x, y);
    y->left_ = x;
    setParent(x, y);
}

void MemberTree::rotateRight(StructureHeader& header, Node* x) noexcept {
    Node* y = x->left_;
    x->left_ = y->right_;
    if (y->right_ != nullptr) {
        setParent(y->right_, x);
    }
    Node* parent = parentOf(x);
    setParent(y, parent);
    replaceChild(header, parent, x, y);
    y->right_ = x;
    setParent(x, y);
}

// The new node is red; while its parent is red too, either recolour (red
// uncle) and continue two levels up, or rotate once or twice and stop.
void MemberTree::insertFixup(StructureHeader& header, Node* node) noexcept {
    for (;;) {
        Node* parent = parentOf(node);
        if (!isRed(parent)) {
            break;
        }
        Node* grandparent = parentOf(parent);  // a red node is never the root
        const bool parentIsLeft = parent == grandparent->left_;
        Node* uncle = parentIsLeft ? grandparent->right_ : grandparent->left_;
        if (isRed(uncle)) {
            setRed(parent, false);
            setRed(uncle, false);
            setRed(grandparent, true);
            node = grandparent;
            continue;
        }
        if (parentIsLeft) {
            if (node == parent->right_) {
                rotateLeft(header, parent);
                parent = node;
            }
            rotateRight(header, grandparent);
        } else {
            if (node == parent->left_) {
                rotateRight(header, parent);
                parent = node;
            }
            rotateLeft(header, grandparent);
        }
        setRed(parent, false);
        setRed(grandparent, true);
        break;
    }
    setRed(header.root, false);
}

// Each node's key field holds its position for a moment: a node has no room
// for one, and searching the list for every link would be quadratic. Nothing
// reads the keys in between.
std::uint16_t MemberTree::positionsOf(Node* const* nodes, std::size_t count,
                                      TreePosition* positions) noexcept {
    static_assert(sizeof(std::uintptr_t) >= sizeof(std::uint16_t));
    const auto none = static_cast<std::uint16_t>(count);
    const auto positionOf = [none](const Node* node) {
        return node == nullptr
                   ? none
                   : static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(node->key_));
    };
    for (std::size_t i = 0; i < count; ++i) {
        positions[i].key = nodes[i]->key_;
        // NOLINTNEXTLINE(performance-no-int-to-ptr): a position, read back below
        nodes[i]->key_ = reinterpret_cast<InternedString*>(static_cast<std::uintptr_t>(i));
    }
    std::uint16_t root = none;
    for (std::size_t i = 0; i < count; ++i) {
        const Node* node = nodes[i];
        const Node* parent = parentOf(node);
        TreePosition& at = positions[i];
        at.left = positionOf(node->left_);
        at.right = positionOf(node->right_);
        at.parent = positionOf(parent);
        at.red = isRed(node);
        if (parent == nullptr) {
            root = static_cast<std::uint16_t>(i);
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        nodes[i]->key_ = positions[i].key;
    }
    return root;
}

// Walks the whole tree once; stops at the first broken rule.
class MemberTreeCheck {
public:
    explicit MemberTreeCheck(std::size_t count) : limit_(count) {}

    const char* run(const BindingMember* root) {
        if (root != nullptr && MemberTree::isRed(root)) {
            return "the root is red";
        }
        walk(root, nullptr);
        if (failure_ == nullptr && visited_ != limit_) {
            failure_ = "fewer nodes than members";
        }
        return failure_;
    }

private:
    using Node = BindingMember;

    int fail(const char* failure) {
        failure_ = failure;
        return -1;
    }

    // The black height of the subtree, or -1 once a rule is broken.
    int walk(const Node* node, const Node* parent) {
        if (node == nullptr) {
            return 1;
        }
        if (++visited_ > limit_) {
            return fail("more nodes than members");
        }
        if (MemberTree::parentOf(node) != parent) {
            return fail("a child does not point back to its parent");
        }
        if (MemberTree::isRed(node) && (MemberTree::isRed(MemberTree::left(node)) ||
                                        MemberTree::isRed(MemberTree::right(node)))) {
            return fail("a red node has a red child");
        }
        const int left = walk(MemberTree::left(node), node);
        if (left < 0) {
            return -1;
        }
        if (previous_ != nullptr &&
            compareMemberKey(previous_->key(), MemberTree::keyOf(node)) >= 0) {
            return fail("keys out of order");
        }
        previous_ = node;
        const int right = walk(MemberTree::right(node), node);
        if (right < 0) {
            return -1;
        }
        if (left != right) {
            return fail("paths with different numbers of black nodes");
        }
        return left + (MemberTree::isRed(node) ? 0 : 1);
    }

    std::size_t limit_;
    std::size_t visited_ = 0;
    const Node* previous_ = nullptr;
    const char* failure_ = nullptr;
};

const char* checkMemberTree(const BindingValue& value) noexcept {
    const BindingConstMembers members = value.members();
    const BindingMember* root = members.empty() ? nullptr : &*members.begin();
    // Up from the first member; a path longer than the member count is a cycle.
    for (std::size_t steps = 0; root != nullptr && MemberTree::parentOf(root) != nullptr; ++steps) {
        if (steps == members.size()) {
            return "a child does not point back to its parent";
        }
        root = MemberTree::parentOf(root);
    }
    return MemberTreeCheck(members.size()).run(root);
}

const BindingMember* firstMember(const BindingMember* root) noexcept {
    return MemberTree::first(root);
}

const BindingMember* nextMember(const BindingMember* member) noexcept {
    return MemberTree::next(member);
}

}  // namespace tav::detail

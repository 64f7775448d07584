// Builds the structures a reader reads with the keys and the tree of their
// siblings: the records of a list almost always have the keys of the record
// before them in the same order. For each depth a few shapes are remembered,
// the keys of a structure closed there in their order of arrival and where
// each sat in its tree. A structure that starts with a shape's first key is
// predicted from it: each key that matches its predicted entry, bytes and
// length, takes a reference on that entry without hashing or a table lookup,
// and a structure that closes with exactly the shape's keys takes the shape's
// links instead of a descent and a rebalancing per member. A key that does
// not match links what was predicted one member at a time, and the rest goes
// the usual way: either way the tree is the one that inserting the members
// in their order of arrival builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "binding/binding_value_context.h"
#include "binding/member_tree.h"
#include "binding/string_hash.h"
#include "binding/string_table.h"

namespace tav::detail {

class ShapePredictor {
public:
    ShapePredictor() = default;
    ~ShapePredictor() { releaseShapes(); }
    ShapePredictor(const ShapePredictor&) = delete;
    ShapePredictor& operator=(const ShapePredictor&) = delete;

    // structure, a structure, is being opened at depth (1 and up, the
    // nesting of open containers it makes). Only one without members is
    // predicted: one that a repeated key reopens is built as usual. The
    // outermost structure has no siblings to learn from or to teach: a small
    // body of one structure costs the predictor nothing.
    void open(BindingValue& structure, std::size_t depth);

    // The member of structure, open at depth, that name names (inserted when
    // new). The reference lasts until the next call.
    BindingValue& key(BindingValue& structure, std::string_view name, std::size_t depth) {
        if (depth == 1) {
            return structure.member(name);
        }
        Level& level = levels_[depth];
        if (level.mode == Mode::Predicting) {
            const Shape& shape = shapes_[level.shape];
            if (level.count < shape.entries.size() &&
                matches(shape.entries[level.count].key, name)) {
                return predicted(level, shape.entries[level.count].key);
            }
            missed(level);
        } else if (level.mode == Mode::Choosing && choose(level, depth, name)) {
            return predicted(level, shapes_[level.shape].entries.front().key);
        }
        if (level.mode == Mode::Recording) {
            return recorded(level, structure, name);
        }
        return structure.member(name);
    }

    // The structure open at depth is complete: whatever was predicted goes
    // into its tree, and its keys may become one of the depth's shapes.
    void close(std::size_t depth) noexcept;

    // Gives back the references the shapes hold on their keys; due before
    // the tree they belong to goes or its root moves.
    void releaseShapes() noexcept;

private:
    // Keys past this many are not predicted, and a structure with more
    // leaves no shape.
    static constexpr std::size_t kMaxShapeKeys = 256;
    // Shapes remembered per depth, told apart by their first key.
    static constexpr std::size_t kShapesPerDepth = 4;
    // Misses in a row that send a depth to rest, and the bounds of a rest.
    static constexpr std::uint32_t kMissesBeforeRest = 8;
    static constexpr std::uint32_t kFirstRest = 16;
    static constexpr std::uint32_t kLongestRest = 1024;
    static_assert(kMaxShapeKeys < MemberTree::kMaxPositions);

    struct Shape {
        std::vector<TreePosition> entries;  // by order of arrival; a reference on each key
        std::uint16_t root = 0;
        std::uint32_t lastUse = 0;  // 0: empty
    };

    // Choosing: no key yet, and shapes to choose from; Predicting: every key
    // so far matched the shape, and their members wait in arrivals_, out of
    // the tree; Recording: the members are in the tree and in arrivals_, for
    // a shape; Plain: neither (a repeated key, a reopened structure, too
    // many keys).
    enum class Mode : std::uint8_t { Choosing, Predicting, Recording, Plain };

    // The open structure at a depth, and how prediction fares there: input
    // that defeats it (records of other keys each, or the same keys in new
    // orders) sends the depth to rest, for longer each time, so that it
    // costs next to nothing over building without.
    struct Level {
        StructureHeader* header;  // null when none is open
        std::size_t base;         // its members in arrivals_ from here
        std::uint32_t count;      // members that arrived
        std::uint32_t shape;      // in shapes_, while predicting
        Mode mode;
        std::uint32_t misses;    // structures in a row that closed unpredicted
        std::uint32_t restLeft;  // structures still to build without prediction
        std::uint32_t rest;      // the next rest's length
        std::size_t outer;       // the depth of the structure open around it, 0 for none
    };

    static bool matches(const InternedString* entry, std::string_view name) noexcept {
        return entry->length == name.size() && sameBytes(entry->chars, name.data(), name.size());
    }

    // The arrivals of a predicted level have their room reserved when its
    // shape is chosen, one more for the null that linking by positions reads.
    BindingValue& predicted(Level& level, InternedString* key) {
        BindingValueContext* const context = level.header->context;
        void* const slot = context->pools().allocate(sizeof(BindingMember));
        StringTable::retain(key);
        BindingMember* const node = MemberTree::construct(slot, key, context);
        arrivals_[level.base + level.count++] = node;
        return node->value();
    }

    BindingValue& recorded(Level& level, BindingValue& structure, std::string_view name);
    // Links the predicted members one by one; the level records from then on.
    void missed(Level& level) noexcept;
    // Starts predicting from the depth's shape whose first key is first.
    bool choose(Level& level, std::size_t depth, std::string_view first);
    void remember(std::size_t depth, const Level& level) noexcept;
    void clear(Shape& shape) noexcept;
    // Room for count more arrivals after the first used ones.
    void reserveArrivals(std::size_t used, std::size_t count) {
        if (arrivals_.size() < used + count) {
            growArrivals(used + count);
        }
    }
    void growArrivals(std::size_t size);

    std::vector<Level> levels_;  // by depth
    std::vector<Shape> shapes_;  // kShapesPerDepth for each depth, from depth 0
    std::vector<BindingMember*>
        arrivals_;               // of the open structures, innermost last; sized, not reserved
    std::size_t innermost_ = 0;  // the depth of the innermost open structure
    BindingValueContext* context_ = nullptr;  // whose strings the shapes' keys are
    std::uint32_t clock_ = 0;
};

}  // namespace tav::detail

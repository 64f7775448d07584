#include "binding/shape_predictor.h"

#include <algorithm>

namespace tav::detail {

void ShapePredictor::open(BindingValue& structure, std::size_t depth) {
    if (depth == 1) {
        return;
    }
    if (depth >= levels_.size()) {
        levels_.resize(std::max<std::size_t>(depth + 1, 8));
    }
    StructureHeader& header = structureHeader(structure);
    // The innermost open structure's members end where this one's start.
    const std::size_t outer = innermost_;
    const std::size_t base = outer != 0 ? levels_[outer].base + levels_[outer].count : 0;
    Level& level = levels_[depth];
    level.header = &header;
    level.base = base;
    level.count = 0;
    level.outer = outer;
    innermost_ = depth;
    if (header.count != 0) {
        level.mode = Mode::Plain;
    } else if (level.restLeft != 0) {
        --level.restLeft;
        level.mode = Mode::Plain;
    } else {
        const bool known = (depth + 1) * kShapesPerDepth <= shapes_.size() &&
                           shapes_[depth * kShapesPerDepth].lastUse != 0;
        level.mode = known ? Mode::Choosing : Mode::Recording;
    }
}

void ShapePredictor::growArrivals(std::size_t size) {
    arrivals_.resize(std::max<std::size_t>(size, arrivals_.size() * 2));
}

bool ShapePredictor::choose(Level& level, std::size_t depth, std::string_view first) {
    level.mode = Mode::Recording;
    for (std::size_t i = depth * kShapesPerDepth; i < (depth + 1) * kShapesPerDepth; ++i) {
        const Shape& shape = shapes_[i];
        if (shape.lastUse != 0 && matches(shape.entries.front().key, first)) {
            reserveArrivals(level.base, shape.entries.size() + 1);
            level.shape = static_cast<std::uint32_t>(i);
            level.mode = Mode::Predicting;
            return true;
        }
    }
    return false;
}

BindingValue& ShapePredictor::recorded(Level& level, BindingValue& structure,
                                       std::string_view name) {
    bool inserted;
    BindingMember& node = memberNode(structure, name, inserted);
    if (!inserted || level.count == kMaxShapeKeys) {
        level.mode = Mode::Plain;
    } else {
        try {
            reserveArrivals(level.base + level.count, 2);
        } catch (...) {
            level.mode = Mode::Plain;  // the member is in the tree: only its shape is lost
            return node.value();
        }
        arrivals_[level.base + level.count++] = &node;
    }
    return node.value();
}

void ShapePredictor::missed(Level& level) noexcept {
    for (std::uint32_t i = 0; i < level.count; ++i) {
        linkMember(*level.header, arrivals_[level.base + i]);
    }
    level.mode = Mode::Recording;
}

void ShapePredictor::close(std::size_t depth) noexcept {
    if (depth == 1) {
        return;
    }
    Level& level = levels_[depth];
    if (level.mode == Mode::Predicting) {
        Shape& shape = shapes_[level.shape];
        if (level.count == shape.entries.size()) {
            BindingMember** const nodes = arrivals_.data() + level.base;
            nodes[level.count] = nullptr;
            MemberTree::linkByPositions(*level.header, nodes, level.count, shape.entries.data(),
                                        shape.root);
            shape.lastUse = ++clock_;
            level.misses = 0;
            level.rest = kFirstRest;
        } else {
            missed(level);
        }
    }
    if (level.mode == Mode::Recording && level.count != 0) {
        remember(depth, level);
        if (++level.misses == kMissesBeforeRest) {
            level.misses = 0;
            level.restLeft = std::max(level.rest, kFirstRest);
            level.rest = std::min(level.restLeft * 2, kLongestRest);
        }
    }
    level.header = nullptr;
    innermost_ = level.outer;
}

void ShapePredictor::remember(std::size_t depth, const Level& level) noexcept {
    try {
        if (shapes_.size() < (depth + 1) * kShapesPerDepth) {
            shapes_.resize(std::max(shapes_.size() * 2, (depth + 1) * kShapesPerDepth));
        }
    } catch (...) {
        return;  // no memory for shapes: this one is not remembered
    }
    const InternedString* first = keyEntry(*arrivals_[level.base]);
    // The shape with the same first key gives way, or else the one unused
    // longest.
    Shape* const begin = shapes_.data() + depth * kShapesPerDepth;
    Shape* slot = begin;
    for (Shape* shape = begin; shape != begin + kShapesPerDepth; ++shape) {
        if (shape->lastUse != 0 && shape->entries.front().key == first) {
            slot = shape;
            break;
        }
        if (shape->lastUse < slot->lastUse) {
            slot = shape;
        }
    }
    clear(*slot);
    try {
        slot->entries.resize(level.count);
    } catch (...) {
        slot->entries.clear();
        return;
    }
    context_ = level.header->context;
    slot->root =
        MemberTree::positionsOf(arrivals_.data() + level.base, level.count, slot->entries.data());
    for (const TreePosition& entry : slot->entries) {
        StringTable::retain(entry.key);
    }
    slot->lastUse = ++clock_;
}

void ShapePredictor::clear(Shape& shape) noexcept {
    for (const TreePosition& entry : shape.entries) {
        context_->strings().release(entry.key, context_->pools());
    }
    shape.entries.clear();
    shape.lastUse = 0;
}

void ShapePredictor::releaseShapes() noexcept {
    for (Shape& shape : shapes_) {
        clear(shape);
    }
}

}  // namespace tav::detail

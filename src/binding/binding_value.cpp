#include "binding/binding_value.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "binding/binding_value_context.h"
#include "binding/member_tree.h"

namespace tav {

namespace {

// Holds the shared empty value without ever destroying it, so that lookups stay
// valid while static objects are torn down at exit.
union EmptyValueHolder {
    BindingValue value;
    constexpr EmptyValueHolder() : value() {}
    ~EmptyValueHolder() {}
};

constinit const EmptyValueHolder gEmptyValue;  // NOLINT(cert-err58-cpp): constant-initialised

[[noreturn]] void throwTooLong() {
    throw std::length_error("vector<T> too long");
}

std::string_view textOf(const detail::InternedString* entry) noexcept {
    return {entry->chars, entry->length};
}

}  // namespace

namespace detail {

constinit CollectionHeader gEmptyCollection{0, 0};

struct ValueAccess {
    using Node = BindingMember;
    using Tree = MemberTree;

    // Takes over the reference on key; releases it if no node can be had.
    static Node* newNode(BindingValueContext& context, InternedString* key) {
        void* slot;
        try {
            slot = context.pools().allocate(sizeof(Node));
        } catch (...) {
            context.strings().release(key, context.pools());
            throw;
        }
        return new (slot) Node(key, &context);
    }

    static void freeNode(BindingValueContext& context, Node* node) noexcept {
        context.strings().release(node->key_, context.pools());
        node->~Node();
        context.pools().deallocate(node, sizeof(Node));
    }

    static void destroyTree(BindingValueContext& context, Node* root) noexcept {
        Tree::destroy(root, [&context](Node* node) { freeNode(context, node); });
    }

    // Frees the bytes of the blobs in value and its descendants, and nothing
    // else: element arrays, slots and strings go with the context.
    static void freeBlobs(const BindingValue& value) noexcept {
        switch (value.kind()) {
            case BindingValueKind::Blob:
                value.payload_.blob->~BindingBlob();
                break;
            case BindingValueKind::Collection:
                for (const BindingValue& element : value.elements()) {
                    if (element.kind() >= BindingValueKind::Blob) {
                        freeBlobs(element);
                    }
                }
                break;
            case BindingValueKind::Structure:
                for (const Node* node = Tree::first(value.payload_.structure->root);
                     node != nullptr; node = Tree::next(node)) {
                    if (node->value_.kind() >= BindingValueKind::Blob) {
                        freeBlobs(node->value_);
                    }
                }
                break;
            default:
                break;
        }
    }

    // Where key is or would go in header's tree: the member holding it, or
    // null with parent and link set to the free child slot below which it
    // belongs. atEnd tells that the key is past every other.
    struct Place {
        Node* found;
        Node* parent;
        Node** link;
        bool atEnd;
    };

    static Place locate(StructureHeader& header, AppendHints& hints, std::string_view key) {
        Place place{nullptr, nullptr, &header.root, true};
        Node* const last = hints.take(&header);
        if (last != nullptr) {
            const int order = compareMemberKey(key, last->key_);
            if (order == 0) {
                hints.remember(&header, last);
                place.found = last;
                return place;
            }
            if (order > 0) {
                place.parent = last;
                place.link = &last->right_;
            }
        }
        while (*place.link != nullptr) {
            Node* const parent = *place.link;
            place.parent = parent;
            // Below the hinted member: compared with it already.
            const int order = parent == last ? -1 : compareMemberKey(key, parent->key_);
            if (order == 0) {
                place.found = parent;
                return place;
            }
            if (order < 0) {
                place.atEnd = false;
                place.link = &parent->left_;
            } else {
                place.link = &parent->right_;
            }
        }
        return place;
    }

    static void link(StructureHeader& header, AppendHints& hints, const Place& place,
                     Node* node) noexcept {
        Tree::insert(header, place.parent, place.link, node);
        ++header.count;
        if (place.atEnd) {
            hints.remember(&header, node);
        }
    }

    static Node& memberNode(BindingValue& value, std::string_view key, bool& inserted) {
        value.makeStructure();
        StructureHeader& header = *value.payload_.structure;
        BindingValueContext& context = *value.contextOf();
        AppendHints& hints = context.appendHints();
        const Place place = locate(header, hints, key);
        inserted = place.found == nullptr;
        if (!inserted) {
            return *place.found;
        }
        Node* node = newNode(context, context.strings().intern(key, context.pools()));
        link(header, hints, place, node);
        return *node;
    }

    static StructureHeader& header(BindingValue& structure) noexcept {
        return *structure.payload_.structure;
    }
    static InternedString* keyOf(const Node& node) noexcept { return node.key_; }

    static void linkMember(StructureHeader& header, Node* node) noexcept {
        AppendHints& hints = header.context->appendHints();
        link(header, hints, locate(header, hints, textOf(node->key_)), node);
    }

    // Small collections are the most numerous: their header and elements
    // come from the slot pools, sized exactly as they grow one by one; larger
    // ones use the heap and double.
    static constexpr std::size_t kPooledElements =
        (SlotPools::kLargestSlot - sizeof(CollectionHeader)) / sizeof(BindingValue);
    static_assert(alignof(BindingValue) <= sizeof(CollectionHeader));

    static bool pooled(std::size_t capacity) noexcept { return capacity <= kPooledElements; }

    static std::size_t blockSize(std::size_t capacity) noexcept {
        return sizeof(CollectionHeader) + capacity * sizeof(BindingValue);
    }

    static void freeElements(BindingValueContext& context, CollectionHeader* header) noexcept {
        const std::size_t capacity = header->capacity;
        if (capacity == 0) {
            return;
        }
        if (pooled(capacity)) {
            context.pools().deallocate(header, blockSize(capacity));
        } else {
            context.freeHeapArray(header);
        }
    }

    // The block grows in place where the heap allows: values hold no pointers
    // to themselves, so moving their bytes relocates them.
    static void reallocateElements(BindingValueContext& context, CollectionHeader*& header,
                                   std::size_t capacity) {
        const std::size_t size = header->size;
        const std::size_t oldCapacity = header->capacity;
        const std::size_t bytes = blockSize(capacity);
        void* memory;
        if (oldCapacity != 0 && !pooled(oldCapacity) && !pooled(capacity)) {
            memory = context.reallocateHeapArray(header, bytes);
            if (memory == nullptr) {
                diag::throwBadAlloc();
            }
        } else {
            memory = pooled(capacity) ? context.pools().allocate(bytes)
                                      : context.allocateHeapArray(bytes);
            if (memory == nullptr) {
                diag::throwBadAlloc();
            }
            std::memcpy(memory, static_cast<const void*>(header), blockSize(size));
            freeElements(context, header);
        }
        header = static_cast<CollectionHeader*>(memory);
        header->capacity = static_cast<std::uint32_t>(capacity);
    }

    static void adoptElements(BindingValue& value, BindingValue* from, std::size_t count) {
        assert(value.kind() == BindingValueKind::Collection && value.size() == 0);
        if (count == 0) {
            return;
        }
        BindingValueContext& context = *value.contextOf();
        const std::size_t bytes = blockSize(count);
        void* const memory =
            pooled(count) ? context.pools().allocate(bytes) : context.allocateHeapArray(bytes);
        if (memory == nullptr) {
            diag::throwBadAlloc();
        }
        freeElements(context, value.payload_.collection);
        auto* const header = new (memory)
            CollectionHeader{static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(count)};
        // Most collections are a few elements: a loop the compiler unrolls
        // beats a library call.
        auto* const to = reinterpret_cast<unsigned char*>(header->elements());
        const auto* const source = reinterpret_cast<const unsigned char*>(from);
        if (count <= kPooledElements) {
            for (std::size_t i = 0; i < count * sizeof(BindingValue); i += sizeof(BindingValue)) {
                std::memcpy(to + i, source + i, sizeof(BindingValue));
            }
        } else {
            std::memcpy(to, source, count * sizeof(BindingValue));
        }
        value.payload_.collection = header;
    }

    static BindingValue& element(BindingValue& value, std::size_t index) {
        value.makeCollection();
        CollectionHeader*& header = value.payload_.collection;
        if (index < header->size) {
            return header->elements()[index];
        }
        if (index >= BindingValue::kMaxElements) {
            throwTooLong();
        }
        BindingValueContext* const context = value.contextOf();
        const std::size_t capacity = header->capacity;
        if (index >= capacity) {
            const std::size_t grown = capacity < kPooledElements ? capacity + 1
                                      : capacity > BindingValue::kMaxElements / 2
                                          ? BindingValue::kMaxElements
                                          : std::max<std::size_t>(capacity * 2, 4);
            reallocateElements(*context, header, std::max(index + 1, grown));
        }
        BindingValue* const elements = header->elements();
        for (std::size_t size = header->size; size <= index; ++size) {
            new (elements + size) BindingValue(context, BindingValue::ChildTag{});
        }
        header->size = static_cast<std::uint32_t>(index + 1);
        return elements[index];
    }

    // Rebuilds src in the empty value dst, whose context is context. Within one
    // tree strings are shared by reference; across trees they are interned
    // again. Every piece is linked into dst as soon as it exists, so that an
    // exception leaves a tree that dst's destruction releases whole.
    static void cloneInto(const BindingValue& src, BindingValue& dst,
                          BindingValueContext& context) {
        detail::SlotPools& pools = context.pools();
        switch (src.kind()) {
            case BindingValueKind::String: {
                InternedString* entry = src.payload_.string;
                if (src.contextOf() == &context) {
                    StringTable::retain(entry);
                } else {
                    entry = context.strings().intern(textOf(entry), pools);
                }
                dst.payload_.string = entry;
                break;
            }
            case BindingValueKind::Blob:
                dst.payload_.blob = pools.create<BindingBlob>(*src.payload_.blob);
                ++context.blobCount();
                break;
            case BindingValueKind::Enum:
                dst.payload_.enumValue = pools.create<BindingEnumValue>(*src.payload_.enumValue);
                break;
            case BindingValueKind::Collection: {
                const std::span<const BindingValue> from = src.elements();
                CollectionHeader*& header = dst.payload_.collection;
                header = &gEmptyCollection;
                dst.setKind(BindingValueKind::Collection);
                if (!from.empty()) {
                    reallocateElements(context, header, from.size());
                    for (const BindingValue& element : from) {
                        BindingValue* copy = new (header->elements() + header->size)
                            BindingValue(&context, BindingValue::ChildTag{});
                        ++header->size;
                        cloneInto(element, *copy, context);
                    }
                }
                return;
            }
            case BindingValueKind::Structure: {
                const StructureHeader& from = *src.payload_.structure;
                auto* header = pools.create<StructureHeader>(StructureHeader{&context, nullptr, 0});
                dst.payload_.structure = header;
                dst.setKind(BindingValueKind::Structure);
                if (from.root != nullptr) {
                    cloneTree(from.root, nullptr, &header->root, context,
                              src.contextOf() == &context);
                }
                header->count = from.count;
                return;
            }
            default:
                dst.payload_ = src.payload_;
                break;
        }
        dst.setKind(src.kind());
    }

    // Copies the tree node for node, shape and colours included: no key is
    // compared and no rebalancing happens.
    static void cloneTree(const Node* from, Node* parent, Node** link, BindingValueContext& context,
                          bool sameTree) {
        InternedString* key = from->key_;
        if (sameTree) {
            StringTable::retain(key);
        } else {
            key = context.strings().intern(textOf(key), context.pools());
        }
        Node* node = newNode(context, key);
        Tree::copyLinks(from, parent, node);
        *link = node;
        cloneInto(from->value_, node->value_, context);
        if (from->left_ != nullptr) {
            cloneTree(from->left_, node, &node->left_, context, sameTree);
        }
        if (from->right_ != nullptr) {
            cloneTree(from->right_, node, &node->right_, context, sameTree);
        }
    }

    static bool contains(const BindingValue& value, const BindingValue* target) noexcept {
        if (value.kind() == BindingValueKind::Collection) {
            for (const BindingValue& element : value.elements()) {
                if (&element == target || contains(element, target)) {
                    return true;
                }
            }
        } else if (value.kind() == BindingValueKind::Structure) {
            for (const BindingMember& m : value.members()) {
                if (&m.value_ == target || contains(m.value_, target)) {
                    return true;
                }
            }
        }
        return false;
    }

    static void visit(const BindingValue& value, BindingValueVisitor& visitor) {
        const BindingValue::Payload& payload = value.payload_;
        switch (value.kind()) {
            case BindingValueKind::Empty:
                visitor.onEmpty();
                break;
            case BindingValueKind::Bool:
                visitor.onBool(payload.boolean);
                break;
            case BindingValueKind::Signed:
                visitor.onSigned(payload.signedValue);
                break;
            case BindingValueKind::Unsigned:
                visitor.onUnsigned(payload.unsignedValue);
                break;
            case BindingValueKind::Float:
                visitor.onFloat(payload.floatValue);
                break;
            case BindingValueKind::String:
                visitor.onString(textOf(payload.string));
                break;
            case BindingValueKind::Blob:
                visitor.onBlob(*payload.blob);
                break;
            case BindingValueKind::Enum:
                visitor.onEnum(*payload.enumValue);
                break;
            case BindingValueKind::Collection: {
                const std::span<const BindingValue> elements = value.elements();
                visitor.beginCollection(elements.size());
                for (std::size_t i = 0; i < elements.size(); ++i) {
                    visitor.beginElement(i);
                    visit(elements[i], visitor);
                    visitor.endElement(i);
                }
                visitor.endCollection();
                break;
            }
            case BindingValueKind::Structure:
                visitor.beginStructure(payload.structure->count);
                for (const BindingMember& m : value.members()) {
                    const std::string_view key = m.key();
                    visitor.key(key);
                    visit(m.value_, visitor);
                    visitor.endKey(key);
                }
                visitor.endStructure();
                break;
        }
    }

    static bool equal(const BindingValue& a, const BindingValue& b) noexcept {
        if (a.kind() != b.kind()) {
            return false;
        }
        const BindingValue::Payload& x = a.payload_;
        const BindingValue::Payload& y = b.payload_;
        switch (a.kind()) {
            case BindingValueKind::Bool:
                return x.boolean == y.boolean;
            case BindingValueKind::Signed:
            case BindingValueKind::Unsigned:
                return x.unsignedValue == y.unsignedValue;
            case BindingValueKind::Float:
                return x.floatValue == y.floatValue;
            case BindingValueKind::String:
                return x.string == y.string || textOf(x.string) == textOf(y.string);
            case BindingValueKind::Blob:
                return *x.blob == *y.blob;
            case BindingValueKind::Enum:
                return *x.enumValue == *y.enumValue;
            case BindingValueKind::Collection:
                return std::ranges::equal(a.elements(), b.elements(), equal);
            case BindingValueKind::Structure:
                return std::ranges::equal(
                    a.members(), b.members(), [](const Node& m, const Node& n) {
                        return m.key() == n.key() && equal(m.value_, n.value_);
                    });
            default:
                return true;
        }
    }
};

}  // namespace detail

using detail::ValueAccess;

const BindingValue& BindingValue::emptyValue() noexcept {
    return gEmptyValue.value;
}

const char* BindingValue::kindName(BindingValueKind kind) noexcept {
    static constexpr const char* kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                             "string", "blob", "enum",   "collection", "structure"};
    const auto index = static_cast<std::size_t>(kind);
    return index < std::size(kNames) ? kNames[index] : "";
}

BindingValue::BindingValue(const BindingValue& other) {
    try {
        copyFrom(other);
    } catch (...) {
        if (contextOf() != nullptr) {
            destroyContext();
        }
        throw;
    }
}

BindingValue::BindingValue(BindingValue&& other) noexcept {
    if (other.isRoot()) {
        std::swap(payload_, other.payload_);
        std::swap(state_, other.state_);
    } else {
        copyFrom(other);
        other.reset();
    }
}

BindingValue& BindingValue::operator=(const BindingValue& other) {
    if (this != &other) {
        copyFrom(other);
    }
    return *this;
}

BindingValue& BindingValue::operator=(BindingValue&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    if (isRoot() && other.isRoot()) {
        std::swap(payload_, other.payload_);
        std::swap(state_, other.state_);
        other.reset();
    } else {
        moveFromChild(other);
    }
    return *this;
}

// The new content is built before the old one is released, so a source that
// lies inside this value, or this value inside the source, reads intact data.
void BindingValue::copyFrom(const BindingValue& other) {
    const bool outOfLine =
        other.kind() > BindingValueKind::String || (other.kind() == BindingValueKind::String &&
                                                    other.payload_.string != &detail::gEmptyString);
    if (!outOfLine) {
        const Payload payload = other.payload_;
        const BindingValueKind kind = other.kind();
        reset();
        payload_ = payload;
        setKind(kind);
        return;
    }
    BindingValueContext* context = ensureContext();
    BindingValue built(context, ChildTag{});
    ValueAccess::cloneInto(other, built, *context);
    reset();
    payload_ = built.payload_;
    setKind(built.kind());
    built.setKind(BindingValueKind::Empty);
}

// At least one of the two is not a root. Across trees the source is copied.
// Within one tree the payload changes hands without a copy, unless this value
// lies inside the source: emptying the source then takes this value with it.
void BindingValue::moveFromChild(BindingValue& other) noexcept {
    if (other.contextOf() == nullptr || other.contextOf() != contextOf()) {
        copyFrom(other);
        other.reset();
        return;
    }
    const bool insideSource = !isRoot() && (other.isRoot() || ValueAccess::contains(other, this));
    if (insideSource) {
        other.reset();
        return;
    }
    const Payload payload = other.payload_;
    const BindingValueKind kind = other.kind();
    other.setKind(BindingValueKind::Empty);
    other.payload_.unsignedValue = 0;
    reset();
    payload_ = payload;
    setKind(kind);
}

BindingValueContext* BindingValue::ensureContext() {
    BindingValueContext* context = contextOf();
    if (context == nullptr) {
        assert(isRoot());
        context = BindingValueContext::create();
        setContext(context);
    }
    return context;
}

void BindingValue::destroyContext() noexcept {
    BindingValueContext::destroy(contextOf());
    setContext(nullptr);
}

// Only a root's destruction: every slot and string of the tree belongs to the
// root's context and nothing outlives it, so the context goes wholesale instead
// of each node giving back its slot and its references one by one.
void BindingValue::discardTree() noexcept {
    BindingValueContext* context = contextOf();
    if (context->blobCount() != 0) {
        ValueAccess::freeBlobs(*this);
    }
    BindingValueContext::discard(context);
    setContext(nullptr);
}

void BindingValue::releasePayload() noexcept {
    BindingValueContext* const context = contextOf();
    switch (kind()) {
        case BindingValueKind::String:
            if (payload_.string != &detail::gEmptyString) {
                context->strings().release(payload_.string, context->pools());
            }
            break;
        case BindingValueKind::Blob:
            context->pools().destroy(payload_.blob);
            --context->blobCount();
            break;
        case BindingValueKind::Enum:
            context->pools().destroy(payload_.enumValue);
            break;
        case BindingValueKind::Collection:
            for (BindingValue& element : elements()) {
                element.~BindingValue();
            }
            ValueAccess::freeElements(*context, payload_.collection);
            break;
        case BindingValueKind::Structure:
            context->appendHints().forget(payload_.structure);
            ValueAccess::destroyTree(*context, payload_.structure->root);
            context->pools().destroy(payload_.structure);
            break;
        default:
            break;
    }
}

void BindingValue::reset() noexcept {
    if (kind() >= BindingValueKind::String) {
        releasePayload();
    }
    setKind(BindingValueKind::Empty);
    payload_.unsignedValue = 0;
}

std::size_t BindingValue::size() const noexcept {
    switch (kind()) {
        case BindingValueKind::Empty:
            return 0;
        case BindingValueKind::String:
            return payload_.string->length;
        case BindingValueKind::Blob:
            return payload_.blob->size();
        case BindingValueKind::Collection:
            return payload_.collection->size;
        case BindingValueKind::Structure:
            return payload_.structure->count;
        default:
            return 1;
    }
}

// Each setter below obtains its new payload before releasing the old one: the
// argument may point into the content being replaced.

void BindingValue::setString(std::string_view text) {
    detail::InternedString* entry = &detail::gEmptyString;
    if (!text.empty()) {
        BindingValueContext* context = ensureContext();
        entry = context->strings().intern(text, context->pools());
    }
    reset();
    payload_.string = entry;
    setKind(BindingValueKind::String);
}

void BindingValue::setBlob(BindingBlob&& bytes) {
    BindingBlob* blob = ensureContext()->pools().create<BindingBlob>(std::move(bytes));
    ++contextOf()->blobCount();
    reset();
    payload_.blob = blob;
    setKind(BindingValueKind::Blob);
}

void BindingValue::setBlob(std::span<const std::uint8_t> bytes) {
    BindingBlob* blob = ensureContext()->pools().create<BindingBlob>(bytes.begin(), bytes.end());
    ++contextOf()->blobCount();
    reset();
    payload_.blob = blob;
    setKind(BindingValueKind::Blob);
}

void BindingValue::setEnum(BindingEnumValue value) {
    BindingEnumValue* stored = ensureContext()->pools().create<BindingEnumValue>(value);
    reset();
    payload_.enumValue = stored;
    setKind(BindingValueKind::Enum);
}

void BindingValue::becomeCollection() {
    ensureContext();
    reset();
    payload_.collection = &detail::gEmptyCollection;
    setKind(BindingValueKind::Collection);
}

void BindingValue::becomeStructure() {
    BindingValueContext* context = ensureContext();
    auto* header = context->pools().create<detail::StructureHeader>(
        detail::StructureHeader{context, nullptr, 0});
    reset();
    payload_.structure = header;
    setKind(BindingValueKind::Structure);
}

void BindingValue::reserve(std::size_t count) {
    if (kind() != BindingValueKind::Collection) {
        return;
    }
    if (count > kMaxElements) {
        throwTooLong();
    }
    if (count > payload_.collection->capacity) {
        ValueAccess::reallocateElements(*contextOf(), payload_.collection, count);
    }
}

BindingValue& BindingValue::element(std::size_t index) {
    return ValueAccess::element(*this, index);
}

void BindingValue::adoptElements(BindingValue* elements, std::size_t count) {
    ValueAccess::adoptElements(*this, elements, count);
}

BindingValue& BindingValue::append() {
    return ValueAccess::element(*this, kind() == BindingValueKind::Collection ? size() : 0);
}

BindingValue& BindingValue::member(std::string_view key) {
    bool inserted;
    return ValueAccess::memberNode(*this, key, inserted).value();
}

namespace detail {

StructureHeader& structureHeader(BindingValue& structure) noexcept {
    assert(structure.kind() == BindingValueKind::Structure);
    return ValueAccess::header(structure);
}

void linkMember(StructureHeader& header, BindingMember* node) noexcept {
    ValueAccess::linkMember(header, node);
}

BindingMember& memberNode(BindingValue& structure, std::string_view key, bool& inserted) {
    return ValueAccess::memberNode(structure, key, inserted);
}

InternedString* keyEntry(const BindingMember& member) noexcept {
    return ValueAccess::keyOf(member);
}

}  // namespace detail

const BindingValue* BindingValue::tryFind(std::string_view key) const noexcept {
    if (kind() != BindingValueKind::Structure) {
        return nullptr;
    }
    const BindingMember* node = detail::MemberTree::find(payload_.structure->root, key);
    return node != nullptr ? &node->value() : nullptr;
}

const BindingValue& BindingValue::find(std::string_view key) const noexcept {
    const BindingValue* value = tryFind(key);
    return value != nullptr ? *value : emptyValue();
}

const BindingValue& BindingValue::elementAt(std::size_t index) const noexcept {
    const std::span<const BindingValue> all = elements();
    return index < all.size() ? all[index] : emptyValue();
}

std::span<const std::uint8_t> BindingValue::asBlob() const noexcept {
    if (kind() != BindingValueKind::Blob) {
        return {};
    }
    return *payload_.blob;
}

void BindingValue::accept(BindingValueVisitor& visitor) const {
    ValueAccess::visit(*this, visitor);
}

bool operator==(const BindingValue& a, const BindingValue& b) noexcept {
    return ValueAccess::equal(a, b);
}

}  // namespace tav

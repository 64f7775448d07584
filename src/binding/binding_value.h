// BindingValue: the dynamic value that conversions, wire formats, requests and
// events pass through. A tree of values is owned by its root, whose context
// interns every string of the tree and holds its small payloads in slot pools;
// members and elements point at that context. Also here: the visitor that
// walks a tree, and iteration over the members of a structure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "binding/static_type_info.h"
#include "diag/allocation.h"

namespace tav {

enum class BindingValueKind : std::uint8_t {
    Empty = 0,
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Float = 4,
    String = 5,
    Blob = 6,
    Enum = 7,
    Collection = 8,
    Structure = 9,
};

// An enum value keeps its number and its type; the names are found through the
// type registry when needed.
struct BindingEnumValue {
    std::int32_t number = 0;
    const StaticTypeInfo* type = nullptr;  // null: no type

    friend bool operator==(const BindingEnumValue&, const BindingEnumValue&) = default;
};

using BindingBlob = std::vector<std::uint8_t, diag::CountingAllocator<std::uint8_t>>;

class BindingValue;
class BindingValueContext;
class BindingValueVisitor;
class ElementStack;
class BindingMember;
template <bool Const>
class BindingMemberRange;
using BindingMembers = BindingMemberRange<false>;
using BindingConstMembers = BindingMemberRange<true>;

namespace detail {

// An entry of a context's string table. chars is zero-terminated.
struct InternedString {
    InternedString* next;
    const char* chars;
    std::size_t length;
    std::uint32_t hash;
    std::uint32_t references;
};

// The one empty string of the process: never counted, never freed.
extern InternedString gEmptyString;

// The elements of a collection follow its header in the same block (a pool
// slot while the collection is small, a heap array beyond): one allocation
// per collection, and no pointers to keep. A collection that never held an
// element shares gEmptyCollection.
struct CollectionHeader {
    std::uint32_t size;
    std::uint32_t capacity;

    BindingValue* elements() noexcept { return reinterpret_cast<BindingValue*>(this + 1); }
    const BindingValue* elements() const noexcept {
        return reinterpret_cast<const BindingValue*>(this + 1);
    }
};

// Never written: a collection takes a block of its own before its first element.
extern CollectionHeader gEmptyCollection;

struct StructureHeader {
    BindingValueContext* context;
    BindingMember* root;  // red-black tree ordered by key bytes (member_tree.h)
    std::size_t count;
};

struct ValueAccess;
struct MemberTree;

const BindingMember* nextMember(const BindingMember* member) noexcept;
const BindingMember* firstMember(const BindingMember* root) noexcept;

}  // namespace detail

class BindingValue {
public:
    // A collection holds at most this many elements; growing past it throws
    // std::length_error.
    static constexpr std::size_t kMaxElements = 268435455;
    // Every context's address is a multiple of this.
    static constexpr std::size_t kContextAlignment = 32;

    constexpr BindingValue() noexcept = default;
    BindingValue(const BindingValue& other);
    // Moving from a member or element copies it; running out of memory while
    // doing so is fatal, as it is for any allocation.
    BindingValue(BindingValue&& other) noexcept;
    ~BindingValue() {
        if ((state_ & kOwnsContext) == 0) {
            if (kind() >= BindingValueKind::String) {
                releasePayload();
            }
        } else if (state_ > kTagMask) {
            discardTree();
        }
    }

    // Deep copy into this value's tree; the source may belong to any tree.
    BindingValue& operator=(const BindingValue& other);
    // Between two roots the contents are exchanged; otherwise the source is
    // copied. The source is empty afterwards either way.
    BindingValue& operator=(BindingValue&& other) noexcept;

    // The value that find returns for a missing member.
    static const BindingValue& emptyValue() noexcept;

    BindingValueKind kind() const noexcept {
        return static_cast<BindingValueKind>(state_ & kKindMask);
    }
    bool isRoot() const noexcept { return (state_ & kOwnsContext) != 0; }
    // The tree's context, null for a root that has not needed one yet.
    const BindingValueContext* context() const noexcept { return contextOf(); }

    // "empty", "bool", ..., "structure"; the empty text outside the table.
    static const char* kindName(BindingValueKind kind) noexcept;
    const char* kindName() const noexcept { return kindName(kind()); }

    // Empty: 0; string: bytes; blob: bytes; collection: elements; structure:
    // members; every other kind: 1.
    std::size_t size() const noexcept;

    // Releases the payload and becomes empty; the context stays.
    void reset() noexcept;

    // The scalar setters are inline: readers call them once per value.
    void setBool(bool value) noexcept {
        Payload payload{};
        payload.boolean = value;
        setScalar(BindingValueKind::Bool, payload);
    }
    void setInt32(std::int32_t value) noexcept { setInt64(value); }
    void setUInt32(std::uint32_t value) noexcept { setUInt64(value); }
    void setInt64(std::int64_t value) noexcept {
        setScalar(BindingValueKind::Signed, Payload{.signedValue = value});
    }
    void setUInt64(std::uint64_t value) noexcept {
        setScalar(BindingValueKind::Unsigned, Payload{.unsignedValue = value});
    }
    void setDouble(double value) noexcept {
        setScalar(BindingValueKind::Float, Payload{.floatValue = value});
    }
    // Interns the text in this tree; a null or empty text is the shared empty
    // string. Bytes are kept as given, embedded zeros included.
    void setString(std::string_view text);
    void setString(const char* text) { setString(text != nullptr ? std::string_view(text) : ""); }
    void setBlob(BindingBlob&& bytes);
    void setBlob(std::span<const std::uint8_t> bytes);
    void setEnum(BindingEnumValue value);

    // Each becomes the kind if it is not already, dropping the old payload.
    void makeCollection() {
        if (kind() != BindingValueKind::Collection) {
            becomeCollection();
        }
    }
    void makeStructure() {
        if (kind() != BindingValueKind::Structure) {
            becomeStructure();
        }
    }
    // Room for count elements; does nothing unless this is a collection.
    void reserve(std::size_t count);

    // Element index for writing; a non-collection becomes one, and empty
    // elements are appended until the index exists.
    BindingValue& element(std::size_t index);
    // A new empty element at the end.
    BindingValue& append();
    // The member named key for writing; a non-structure becomes one, and a
    // missing member is inserted empty.
    BindingValue& member(std::string_view key);
    BindingValue& member(const char* key) {
        return member(key != nullptr ? std::string_view(key) : "");
    }

    // Read-only lookups that never insert and never allocate: the member or
    // element, or emptyValue() when there is none.
    const BindingValue& find(std::string_view key) const noexcept;
    const BindingValue& find(const char* key) const noexcept {
        return find(key != nullptr ? std::string_view(key) : "");
    }
    const BindingValue& elementAt(std::size_t index) const noexcept;
    // The member, or null when there is none (tells a missing member from an
    // empty one).
    const BindingValue* tryFind(std::string_view key) const noexcept;

    // Elements in order, and members in ascending order of their key bytes
    // (unsigned, a key before any longer key it begins); both empty for other
    // kinds.
    std::span<BindingValue> elements() noexcept;
    std::span<const BindingValue> elements() const noexcept;
    BindingMembers members() noexcept;
    BindingConstMembers members() const noexcept;

    // Typed reads: the payload when the kind matches, else a neutral default.
    bool asBool() const noexcept { return kind() == BindingValueKind::Bool && payload_.boolean; }
    std::int64_t asInt64() const noexcept {
        return kind() == BindingValueKind::Signed ? payload_.signedValue : 0;
    }
    std::uint64_t asUInt64() const noexcept {
        return kind() == BindingValueKind::Unsigned ? payload_.unsignedValue : 0;
    }
    double asDouble() const noexcept {
        return kind() == BindingValueKind::Float ? payload_.floatValue : 0.0;
    }
    std::string_view asString() const noexcept {
        return kind() == BindingValueKind::String
                   ? std::string_view(payload_.string->chars, payload_.string->length)
                   : std::string_view();
    }
    // Zero-terminated; "" for other kinds.
    const char* asCString() const noexcept {
        return kind() == BindingValueKind::String ? payload_.string->chars : "";
    }
    std::span<const std::uint8_t> asBlob() const noexcept;
    BindingEnumValue asEnum() const noexcept {
        return kind() == BindingValueKind::Enum ? *payload_.enumValue : BindingEnumValue{};
    }

    // Walks the value depth-first, members in ascending key order.
    void accept(BindingValueVisitor& visitor) const;

    // Deep comparison of kind and content (strings by their bytes).
    friend bool operator==(const BindingValue& a, const BindingValue& b) noexcept;

private:
    friend struct detail::ValueAccess;
    friend class BindingMember;
    friend class ElementStack;

    // Members and elements: the parent's context, ownsContext 0.
    struct ChildTag {};
    BindingValue(BindingValueContext* context, ChildTag) noexcept
        : state_(reinterpret_cast<std::uintptr_t>(context)) {}

    BindingValueContext* contextOf() const noexcept {
        return reinterpret_cast<BindingValueContext*>(state_ & ~kTagMask);
    }
    void setContext(BindingValueContext* context) noexcept {
        state_ = reinterpret_cast<std::uintptr_t>(context) | (state_ & kTagMask);
    }
    void setKind(BindingValueKind kind) noexcept {
        state_ = (state_ & ~kKindMask) | static_cast<std::uintptr_t>(kind);
    }

    BindingValueContext* ensureContext();
    void becomeCollection();
    void becomeStructure();
    void releasePayload() noexcept;
    void destroyContext() noexcept;
    void discardTree() noexcept;
    void copyFrom(const BindingValue& other);
    void moveFromChild(BindingValue& other) noexcept;
    // An empty collection takes over count values of its tree, relocated
    // from elements, in a block of exactly that size.
    void adoptElements(BindingValue* elements, std::size_t count);

    union Payload {
        std::uint64_t unsignedValue;
        std::int64_t signedValue;
        double floatValue;
        bool boolean;
        detail::InternedString* string;
        BindingBlob* blob;
        BindingEnumValue* enumValue;
        detail::CollectionHeader* collection;
        detail::StructureHeader* structure;
    };

    void setScalar(BindingValueKind newKind, Payload payload) noexcept {
        if (kind() >= BindingValueKind::String) {
            releasePayload();
        }
        payload_ = payload;
        setKind(newKind);
    }

    // The context is aligned to kContextAlignment, which leaves the low bits
    // of its address free for the kind and the root's mark: a value is its
    // payload and one word, and trees of small collections are mostly values.
    static constexpr std::uintptr_t kKindMask = 15;
    static constexpr std::uintptr_t kOwnsContext = 16;
    static constexpr std::uintptr_t kTagMask = kKindMask | kOwnsContext;
    static_assert(kTagMask + 1 == kContextAlignment);

    Payload payload_{};
    std::uintptr_t state_ = kOwnsContext;  // context address | kOwnsContext | kind
};

static_assert(sizeof(BindingValue) <= 16, "a value is its payload and one word");

// A member of a structure: its key and its value. Members are the nodes of the
// structure's ordered map, allocated from the tree's slot pools.
class BindingMember {
public:
    std::string_view key() const noexcept { return {key_->chars, key_->length}; }
    BindingValue& value() noexcept { return value_; }
    const BindingValue& value() const noexcept { return value_; }

    BindingMember(const BindingMember&) = delete;
    BindingMember& operator=(const BindingMember&) = delete;

private:
    friend struct detail::ValueAccess;
    friend struct detail::MemberTree;

    BindingMember(detail::InternedString* key, BindingValueContext* context) noexcept
        : key_(key), value_(context, BindingValue::ChildTag{}) {}
    ~BindingMember() = default;

    BindingMember* left_ = nullptr;
    BindingMember* right_ = nullptr;
    std::uintptr_t parentAndRed_ = 0;  // parent node, low bit set when red
    detail::InternedString* key_;
    BindingValue value_;
};

template <bool Const>
class BindingMemberIterator {
public:
    using Node = std::conditional_t<Const, const BindingMember, BindingMember>;
    using iterator_category = std::forward_iterator_tag;
    using value_type = BindingMember;
    using difference_type = std::ptrdiff_t;
    using pointer = Node*;
    using reference = Node&;

    BindingMemberIterator() noexcept = default;
    explicit BindingMemberIterator(Node* node) noexcept : node_(node) {}

    reference operator*() const noexcept { return *node_; }
    pointer operator->() const noexcept { return node_; }
    BindingMemberIterator& operator++() noexcept {
        node_ = const_cast<Node*>(detail::nextMember(node_));
        return *this;
    }
    BindingMemberIterator operator++(int) noexcept {
        BindingMemberIterator previous = *this;
        ++*this;
        return previous;
    }
    friend bool operator==(const BindingMemberIterator&, const BindingMemberIterator&) = default;

private:
    Node* node_ = nullptr;
};

template <bool Const>
class BindingMemberRange {
public:
    using iterator = BindingMemberIterator<Const>;
    using Node = typename iterator::Node;

    BindingMemberRange(Node* first, std::size_t count) noexcept : first_(first), count_(count) {}

    iterator begin() const noexcept { return iterator(first_); }
    iterator end() const noexcept { return iterator(); }
    std::size_t size() const noexcept { return count_; }
    bool empty() const noexcept { return count_ == 0; }

private:
    Node* first_;
    std::size_t count_;
};

inline BindingMembers BindingValue::members() noexcept {
    if (kind() != BindingValueKind::Structure) {
        return {nullptr, 0};
    }
    const detail::StructureHeader& header = *payload_.structure;
    return {const_cast<BindingMember*>(detail::firstMember(header.root)), header.count};
}

inline BindingConstMembers BindingValue::members() const noexcept {
    if (kind() != BindingValueKind::Structure) {
        return {nullptr, 0};
    }
    const detail::StructureHeader& header = *payload_.structure;
    return {detail::firstMember(header.root), header.count};
}

inline std::span<BindingValue> BindingValue::elements() noexcept {
    if (kind() != BindingValueKind::Collection) {
        return {};
    }
    return {payload_.collection->elements(), payload_.collection->size};
}

inline std::span<const BindingValue> BindingValue::elements() const noexcept {
    if (kind() != BindingValueKind::Collection) {
        return {};
    }
    const detail::CollectionHeader* header = payload_.collection;
    return {header->elements(), header->size};
}

// Receives the walk of a value. Scalars produce one call; a collection
// produces beginCollection, then beginElement(i), the element's calls and
// endElement(i) for each element, then endCollection; a structure produces
// beginStructure, then key(k), the member's calls and endKey(k) for each member
// in ascending key order, then endStructure. Texts are zero-terminated views.
// Every operation does nothing unless overridden.
class BindingValueVisitor {
public:
    virtual void onEmpty() {}
    virtual void onBool(bool /*value*/) {}
    virtual void onSigned(std::int64_t /*value*/) {}
    virtual void onUnsigned(std::uint64_t /*value*/) {}
    virtual void onFloat(double /*value*/) {}
    virtual void onString(std::string_view /*text*/) {}
    virtual void onBlob(std::span<const std::uint8_t> /*bytes*/) {}
    virtual void onEnum(const BindingEnumValue& /*value*/) {}
    virtual void beginCollection(std::size_t /*count*/) {}
    virtual void beginElement(std::size_t /*index*/) {}
    virtual void endElement(std::size_t /*index*/) {}
    virtual void endCollection() {}
    virtual void beginStructure(std::size_t /*count*/) {}
    virtual void key(std::string_view /*key*/) {}
    virtual void endKey(std::string_view /*key*/) {}
    virtual void endStructure() {}
    virtual ~BindingValueVisitor() = default;
};

}  // namespace tav

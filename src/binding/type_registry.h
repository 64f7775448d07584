// The registry of described native types: records and enums with their
// fields, enumerators, descriptions and tags, plus the events and functions of
// the API, indexed by name (and types by id). Descriptors are filled while
// they are registered and only read afterwards, so readers take no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "binding/static_type_info.h"
#include "binding/type_kind.h"

namespace tav {

class BindingValue;
struct BindingResult;
class BindingTypeRegistry;
struct BindingTypeDescriptor;
struct BindingField;

struct BindingTypeRef {
    BindingTypeKind kind = BindingTypeKind::None;
    BindingTypeKind elementKind = BindingTypeKind::None;  // vectors and maps
    const BindingTypeDescriptor* descriptor = nullptr;    // enums, records, or their element's
};

// Converts one native member in both directions; every field owns one, of the
// class that matches the member's native type. toValue writes into out, which
// may lie inside result's own tree: after a failure it must not be touched.
class BindingFieldAccessor {
public:
    virtual void toNative(BindingResult& result, void* member, const BindingValue& value,
                          std::string_view name, const BindingField& field,
                          const BindingTypeRegistry& registry) const = 0;
    virtual void toValue(BindingResult& result, const void* member, BindingValue& out,
                         const BindingField& field, const BindingTypeRegistry& registry) const = 0;
    virtual ~BindingFieldAccessor() = default;
};

inline constexpr std::uint32_t kFieldOmitDefault = 1;
inline constexpr std::uint32_t kFieldRequired = 2;

struct BindingField {
    std::string name;
    std::uint32_t nameHash = 0;  // FNV-1a of name
    std::string description;
    const StaticTypeInfo* staticType = nullptr;
    std::uint32_t offset = 0;
    BindingTypeRef type;
    BindingTypeRef elementType;
    std::uint32_t flags = 0;
    std::unique_ptr<const BindingFieldAccessor> accessor;
    const BindingTypeDescriptor* owner = nullptr;
    bool optional = false;
};

struct BindingEnumerator {
    std::int64_t number = 0;  // a 32-bit number with room for 64 bits
    std::string name;
    std::string description;
    const BindingTypeDescriptor* owner = nullptr;
};

// Enumerators in byte order of their names.
struct ByteOrder {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a < b; }
};

struct BindingTypeDescriptor {
    std::uint32_t nativeSize = 0;
    bool isEnum = false;
    std::string name;
    std::uint32_t typeId = 0;
    const StaticTypeInfo* staticType = nullptr;
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
    std::vector<BindingField> fields;
    std::map<std::string, BindingEnumerator, ByteOrder> enumerators;
    const BindingTypeRegistry* registry = nullptr;
};

struct BindingEventDescriptor {
    std::string name;
    const BindingTypeDescriptor* payload = nullptr;
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
};

struct BindingFunctionArgument {
    std::string name;
    std::string description;
    bool optional = false;
    BindingTypeRef type;
};

struct BindingFunctionDescriptor {
    std::string name;
    std::vector<BindingFunctionArgument> arguments;
    BindingTypeRef returns;
    std::vector<std::string> tags;
    std::string nameSpace;
    std::string description;
    std::string help;
    bool threadSafe = false;
    bool async = false;
    const BindingTypeRegistry* registry = nullptr;
};

// Fills one descriptor; every operation does nothing when the name was
// already registered, so a repeated registration leaves the first intact.
class BindingTypeBuilder {
public:
    BindingTypeBuilder(BindingTypeRegistry* registry, BindingTypeDescriptor* descriptor,
                       bool alreadyRegistered)
        : registry_(registry), descriptor_(descriptor), alreadyRegistered_(alreadyRegistered) {}

    BindingTypeBuilder& addField(std::string_view name, std::string_view description,
                                 std::uint32_t offset, const StaticTypeInfo& fieldStaticType,
                                 const BindingTypeRef& type, const BindingTypeRef& elementType,
                                 std::uint32_t flags,
                                 std::unique_ptr<const BindingFieldAccessor> accessor,
                                 bool optional);
    BindingTypeBuilder& addEnumerator(std::string_view name, std::int64_t number,
                                      std::string_view description);
    BindingTypeBuilder& setDescription(std::string_view description);
    BindingTypeBuilder& setNameSpace(std::string_view nameSpace);
    BindingTypeBuilder& addTags(std::initializer_list<std::string_view> tags);
    BindingTypeBuilder& addTags(const std::vector<std::string>& tags);

    BindingTypeRegistry* registry() const { return registry_; }
    const BindingTypeDescriptor* descriptor() const { return descriptor_; }
    std::uint32_t currentOffset() const { return currentOffset_; }
    bool alreadyRegistered() const { return alreadyRegistered_; }

private:
    BindingTypeRegistry* registry_;
    BindingTypeDescriptor* descriptor_;
    std::uint32_t currentOffset_ = 0;
    bool alreadyRegistered_;
};

class BindingTypeRegistry {
public:
    BindingTypeRegistry();
    ~BindingTypeRegistry();
    BindingTypeRegistry(const BindingTypeRegistry&) = delete;
    BindingTypeRegistry& operator=(const BindingTypeRegistry&) = delete;

    BindingTypeBuilder beginStructure(std::string_view name, std::uint32_t nativeSize,
                                      const StaticTypeInfo& staticType, bool isEnum = false);

    const BindingTypeDescriptor* find(const StaticTypeInfo& staticType) const;
    const BindingTypeDescriptor* findById(std::uint32_t id) const;
    const BindingTypeDescriptor* findByName(std::string_view name) const;

    // The name of the first enumerator (in name order) numbered number.
    std::optional<std::string_view> enumName(const StaticTypeInfo& type, std::int64_t number) const;
    static bool enumContains(const BindingTypeDescriptor& descriptor, std::int64_t number);
    static const BindingEnumerator* enumByName(const BindingTypeDescriptor& descriptor,
                                               std::string_view name);

    // Creates a function with argumentCount empty arguments for the caller to
    // fill; indexed by name (replacing an earlier one) unless unindexed.
    BindingFunctionDescriptor& registerFunction(std::string_view name, std::size_t argumentCount,
                                                bool unindexed = false);
    const BindingFunctionDescriptor* findFunction(std::string_view name) const;
    std::size_t functionRegistrationCount() const;

    BindingEventDescriptor& registerEvent(std::string_view name,
                                          const BindingTypeDescriptor* payload);
    const BindingEventDescriptor* findEvent(std::string_view name) const;

    std::vector<const BindingFunctionDescriptor*> snapshotFunctions() const;
    std::vector<const BindingTypeDescriptor*> snapshotTypes() const;
    std::vector<const BindingEventDescriptor*> snapshotEvents() const;

    // Drops every registration (when initialised) and registers the built-in
    // types and events again.
    void reset();
    bool initialised() const;

private:
    struct IdHash {
        std::size_t operator()(std::uint32_t id) const;
    };
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const;
    };
    template <class T>
    using NameIndex = std::unordered_map<std::string, T*, NameHash, std::equal_to<>>;

    void clearLocked();

    mutable std::mutex mutex_;
    std::size_t functionRegistrations_ = 0;
    NameIndex<BindingFunctionDescriptor> functionsByName_;
    NameIndex<BindingEventDescriptor> eventsByName_;
    NameIndex<BindingTypeDescriptor> typesByName_;
    std::unordered_map<std::uint32_t, BindingTypeDescriptor*, IdHash> typesById_;
    // Owners, in registration order (the snapshots' order).
    std::vector<std::unique_ptr<BindingFunctionDescriptor>> functions_;
    std::vector<std::unique_ptr<BindingEventDescriptor>> events_;
    std::vector<std::unique_ptr<BindingTypeDescriptor>> types_;
    bool initialised_ = false;
};

// Registers the framework's built-in types and events; the registry's reset
// calls it.
void registerBuiltins(BindingTypeRegistry& registry);

}  // namespace tav

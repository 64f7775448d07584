#include "binding/type_registry.h"

#include <algorithm>
#include <cstdio>

namespace tav {

StaticTypeInfo::StaticTypeInfo(std::uint32_t typeId, const char* signatureName)
    : id(typeId), name(signatureName), text{} {
    if (name == nullptr) {
        std::snprintf(text, sizeof text, "#%08X", static_cast<unsigned>(id));
        name = text;
    }
}

const StaticTypeInfo& reservedStaticTypeInfo() {
    static const StaticTypeInfo info(kReservedTypeId, nullptr);
    return info;
}

const char* typeKindName(BindingTypeKind kind) {
    static constexpr const char* kNames[] = {
        "",       "bool",   "int8",   "uint8",  "int16",    "uint16", "int32",
        "uint32", "int64",  "uint64", "float",  "double",   "string", "object",
        "blob",   "vector", "enum",   "struct", "callback", "map",
    };
    const auto index = static_cast<std::uint32_t>(kind);
    return index < std::size(kNames) ? kNames[index] : "";
}

// --- builder ---------------------------------------------------------------

BindingTypeBuilder& BindingTypeBuilder::addField(
    std::string_view name, std::string_view description, std::uint32_t offset,
    const StaticTypeInfo& fieldStaticType, const BindingTypeRef& type,
    const BindingTypeRef& elementType, std::uint32_t flags,
    std::unique_ptr<const BindingFieldAccessor> accessor, bool optional) {
    if (alreadyRegistered_) {
        return *this;
    }
    BindingField& field = descriptor_->fields.emplace_back();
    field.name = name;
    field.nameHash = detail::fnv1a(name);
    field.description = description;
    field.staticType = &fieldStaticType;
    field.offset = offset;
    field.type = type;
    field.elementType = elementType;
    field.flags = flags;
    field.accessor = std::move(accessor);
    field.owner = descriptor_;
    field.optional = optional;
    currentOffset_ = offset;
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addEnumerator(std::string_view name, std::int64_t number,
                                                      std::string_view description) {
    if (alreadyRegistered_) {
        return *this;
    }
    // The last registration of a name wins.
    BindingEnumerator& e = descriptor_->enumerators[std::string(name)];
    e.number = number;
    e.name = name;
    e.description = description;
    e.owner = descriptor_;
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::setDescription(std::string_view description) {
    if (!alreadyRegistered_) {
        descriptor_->description = description;
    }
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::setNameSpace(std::string_view nameSpace) {
    if (!alreadyRegistered_) {
        descriptor_->nameSpace = nameSpace;
    }
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addTags(std::initializer_list<std::string_view> tags) {
    if (!alreadyRegistered_) {
        descriptor_->tags.insert(descriptor_->tags.end(), tags.begin(), tags.end());
    }
    return *this;
}

BindingTypeBuilder& BindingTypeBuilder::addTags(const std::vector<std::string>& tags) {
    if (!alreadyRegistered_) {
        descriptor_->tags.insert(descriptor_->tags.end(), tags.begin(), tags.end());
    }
    return *this;
}

// --- registry ----------------------------------------------------------------

std::size_t BindingTypeRegistry::IdHash::operator()(std::uint32_t id) const {
    const char bytes[4] = {static_cast<char>(id), static_cast<char>(id >> 8),
                           static_cast<char>(id >> 16), static_cast<char>(id >> 24)};
    return detail::fnv1a(std::string_view(bytes, 4));
}

std::size_t BindingTypeRegistry::NameHash::operator()(std::string_view name) const {
    return detail::fnv1a(name);
}

BindingTypeRegistry::BindingTypeRegistry() = default;
BindingTypeRegistry::~BindingTypeRegistry() = default;

BindingTypeBuilder BindingTypeRegistry::beginStructure(std::string_view name,
                                                       std::uint32_t nativeSize,
                                                       const StaticTypeInfo& staticType,
                                                       bool isEnum) {
    std::lock_guard lock(mutex_);
    if (auto it = typesByName_.find(name); it != typesByName_.end()) {
        return BindingTypeBuilder(this, it->second, true);
    }
    auto descriptor = std::make_unique<BindingTypeDescriptor>();
    descriptor->nativeSize = nativeSize;
    descriptor->isEnum = isEnum;
    descriptor->name = name;
    descriptor->typeId = staticType.id;
    descriptor->staticType = &staticType;
    descriptor->registry = this;
    BindingTypeDescriptor* d = descriptor.get();
    types_.push_back(std::move(descriptor));
    typesByName_.emplace(d->name, d);
    if (d->typeId != kReservedTypeId) {
        typesById_[d->typeId] = d;  // a later type of the same id takes the id index
    }
    return BindingTypeBuilder(this, d, false);
}

const BindingTypeDescriptor* BindingTypeRegistry::find(const StaticTypeInfo& staticType) const {
    return findById(staticType.id);
}

const BindingTypeDescriptor* BindingTypeRegistry::findById(std::uint32_t id) const {
    std::lock_guard lock(mutex_);
    auto it = typesById_.find(id);
    return it != typesById_.end() ? it->second : nullptr;
}

const BindingTypeDescriptor* BindingTypeRegistry::findByName(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = typesByName_.find(name);
    return it != typesByName_.end() ? it->second : nullptr;
}

std::optional<std::string_view> BindingTypeRegistry::enumName(const StaticTypeInfo& type,
                                                              std::int64_t number) const {
    const BindingTypeDescriptor* d = find(type);
    if (d == nullptr) {
        return std::nullopt;
    }
    for (const auto& [name, e] : d->enumerators) {
        if (e.number == number) {
            return std::string_view(e.name);
        }
    }
    return std::nullopt;
}

bool BindingTypeRegistry::enumContains(const BindingTypeDescriptor& descriptor,
                                       std::int64_t number) {
    return std::any_of(descriptor.enumerators.begin(), descriptor.enumerators.end(),
                       [number](const auto& entry) { return entry.second.number == number; });
}

const BindingEnumerator* BindingTypeRegistry::enumByName(const BindingTypeDescriptor& descriptor,
                                                         std::string_view name) {
    auto it = descriptor.enumerators.find(name);
    return it != descriptor.enumerators.end() ? &it->second : nullptr;
}

BindingFunctionDescriptor& BindingTypeRegistry::registerFunction(std::string_view name,
                                                                 std::size_t argumentCount,
                                                                 bool unindexed) {
    std::lock_guard lock(mutex_);
    auto function = std::make_unique<BindingFunctionDescriptor>();
    function->name = name;
    function->arguments.resize(argumentCount);
    function->registry = this;
    BindingFunctionDescriptor* f = function.get();
    functions_.push_back(std::move(function));
    if (!unindexed) {
        functionsByName_.insert_or_assign(f->name, f);
        ++functionRegistrations_;
    }
    return *f;
}

const BindingFunctionDescriptor* BindingTypeRegistry::findFunction(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = functionsByName_.find(name);
    return it != functionsByName_.end() ? it->second : nullptr;
}

std::size_t BindingTypeRegistry::functionRegistrationCount() const {
    std::lock_guard lock(mutex_);
    return functionRegistrations_;
}

BindingEventDescriptor& BindingTypeRegistry::registerEvent(std::string_view name,
                                                           const BindingTypeDescriptor* payload) {
    std::lock_guard lock(mutex_);
    auto event = std::make_unique<BindingEventDescriptor>();
    event->name = name;
    event->payload = payload;
    BindingEventDescriptor* e = event.get();
    events_.push_back(std::move(event));
    eventsByName_.insert_or_assign(e->name, e);
    return *e;
}

const BindingEventDescriptor* BindingTypeRegistry::findEvent(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = eventsByName_.find(name);
    return it != eventsByName_.end() ? it->second : nullptr;
}

namespace {

// The owners in registration order, without those a later registration of
// the same name replaced in the index.
template <class T, class Index>
std::vector<const T*> indexedInOrder(const std::vector<std::unique_ptr<T>>& owners,
                                     const Index& index) {
    std::vector<const T*> result;
    result.reserve(index.size());
    for (const auto& owned : owners) {
        auto it = index.find(owned->name);
        if (it != index.end() && it->second == owned.get()) {
            result.push_back(owned.get());
        }
    }
    return result;
}

}  // namespace

std::vector<const BindingFunctionDescriptor*> BindingTypeRegistry::snapshotFunctions() const {
    std::lock_guard lock(mutex_);
    return indexedInOrder(functions_, functionsByName_);
}

std::vector<const BindingTypeDescriptor*> BindingTypeRegistry::snapshotTypes() const {
    std::lock_guard lock(mutex_);
    std::vector<const BindingTypeDescriptor*> result;
    result.reserve(types_.size());
    for (const auto& t : types_) {
        result.push_back(t.get());
    }
    return result;
}

std::vector<const BindingEventDescriptor*> BindingTypeRegistry::snapshotEvents() const {
    std::lock_guard lock(mutex_);
    return indexedInOrder(events_, eventsByName_);
}

void BindingTypeRegistry::clearLocked() {
    functionsByName_.clear();
    eventsByName_.clear();
    typesByName_.clear();
    typesById_.clear();
    functions_.clear();
    events_.clear();
    types_.clear();
    functionRegistrations_ = 0;
}

void BindingTypeRegistry::reset() {
    {
        std::lock_guard lock(mutex_);
        if (initialised_) {
            clearLocked();
        }
    }
    registerBuiltins(*this);
    std::lock_guard lock(mutex_);
    initialised_ = true;
}

bool BindingTypeRegistry::initialised() const {
    std::lock_guard lock(mutex_);
    return initialised_;
}

}  // namespace tav

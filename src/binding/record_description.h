// Describing native records and enums once, next to their definition, and
// registering them from that description: offsets come from the compiler,
// field types are deduced from the members (optionals detected), and every
// field gets the accessor that converts its native type.
//
//   struct Timer { std::int64_t timeLeft = 0; std::optional<std::string> phase; };
//   constexpr auto describe(tav::BindingDescribe<Timer>) {
//       return tav::record(tav::field("timeLeft", &Timer::timeLeft),
//                          tav::field("phase", &Timer::phase).required());
//   }
//   tav::registerRecord<Timer>(registry, "PrefixTimer", {"Plugins"});
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "binding/native_conversion.h"
#include "binding/type_registry.h"

namespace tav {

template <class Record, class Member>
struct BindingFieldDescription {
    const char* name;
    Member Record::*member;
    std::uint32_t flags = 0;
    const char* description = "";

    constexpr BindingFieldDescription required() const {
        return {name, member, flags | kFieldRequired, description};
    }
    constexpr BindingFieldDescription omitDefault() const {
        return {name, member, flags | kFieldOmitDefault, description};
    }
    constexpr BindingFieldDescription describedAs(const char* text) const {
        return {name, member, flags, text};
    }
};

template <class Record, class Member>
constexpr BindingFieldDescription<Record, Member> field(const char* name, Member Record::*member) {
    return {name, member};
}

template <class Record, class... Members>
struct BindingRecordDescription {
    std::tuple<BindingFieldDescription<Record, Members>...> fields;
};

// The fields of one record, in declaration order.
template <class Record, class... Members>
constexpr BindingRecordDescription<Record, Members...> record(
    BindingFieldDescription<Record, Members>... fields) {
    return {{fields...}};
}

template <class E>
struct BindingEnumeratorDescription {
    const char* name;
    E value;
    const char* description = "";
};

template <class E, std::size_t N>
struct BindingEnumDescription {
    std::array<BindingEnumeratorDescription<E>, N> enumerators;
};

// The enumerators of one enum, in declaration order:
//   enumeration<State>({{"None", State::None}, {"Running", State::Running}})
template <class E, std::size_t N>
constexpr BindingEnumDescription<E, N> enumeration(
    const BindingEnumeratorDescription<E> (&enumerators)[N]) {
    BindingEnumDescription<E, N> description{};
    for (std::size_t i = 0; i < N; ++i) {
        description.enumerators[i] = enumerators[i];
    }
    return description;
}

// The accessor of a member of native type M: the converter of M, with the
// innermost record or enum descriptor resolved at registration.
template <class M>
class BindingMemberAccessor final : public BindingFieldAccessor {
public:
    explicit BindingMemberAccessor(const BindingTypeDescriptor* descriptor)
        : descriptor_(descriptor) {}

    void toNative(BindingResult& result, void* member, const BindingValue& value,
                  std::string_view name, const BindingField& /*field*/,
                  const BindingTypeRegistry& registry) const override {
        BindingConverter<M>::toNative(result, *static_cast<M*>(member), value, name,
                                      {registry, descriptor_});
    }

    void toValue(BindingResult& result, const void* member, BindingValue& out,
                 const BindingField& /*field*/,
                 const BindingTypeRegistry& registry) const override {
        BindingConverter<M>::toValue(result, *static_cast<const M*>(member), out,
                                     {registry, descriptor_});
    }

private:
    const BindingTypeDescriptor* descriptor_;
};

namespace detail {

// Offset of a member, from the compiler's layout of Record.
template <class Record, class Member>
std::uint32_t memberOffset(Member Record::*member) {
    union Storage {
        Storage() {}
        ~Storage() {}
        char bytes[sizeof(Record)];
        Record record;
    } storage;
    const auto* base = reinterpret_cast<const unsigned char*>(&storage);
    const auto* field = reinterpret_cast<const unsigned char*>(&(storage.record.*member));
    return static_cast<std::uint32_t>(field - base);
}

template <class Record, class Member>
void addDescribedField(BindingTypeBuilder& builder, const BindingTypeRegistry& registry,
                       const BindingFieldDescription<Record, Member>& field) {
    builder.addField(
        field.name, field.description, memberOffset(field.member), staticTypeInfo<Member>(),
        bindingTypeRef<Member>(registry), bindingElementTypeRef<Member>(registry), field.flags,
        std::make_unique<BindingMemberAccessor<Member>>(innermostDescriptor<Member>(registry)),
        isBindingOptional<Member>);
}

}  // namespace detail

struct BindingRegistration {
    std::string_view name;               // the full registered name
    std::vector<std::string> tags = {};  // for example the plugin's labels
    std::string_view description = {};
    std::string_view nameSpace = {};
};

// Registers T under its full name; a name already registered is left as it
// was. Member records and enums must be registered first.
template <BindingRecordType T>
const BindingTypeDescriptor* registerRecord(BindingTypeRegistry& registry,
                                            const BindingRegistration& registration) {
    BindingTypeBuilder builder = registry.beginStructure(
        registration.name, static_cast<std::uint32_t>(sizeof(T)), staticTypeInfo<T>(), false);
    if (builder.alreadyRegistered()) {
        return builder.descriptor();
    }
    builder.addTags(registration.tags);
    if (!registration.description.empty()) {
        builder.setDescription(registration.description);
    }
    builder.setNameSpace(registration.nameSpace);
    constexpr auto description = describe(BindingDescribe<T>{});
    std::apply(
        [&](const auto&... fields) { (detail::addDescribedField(builder, registry, fields), ...); },
        description.fields);
    return builder.descriptor();
}

template <BindingEnumType E>
requires BindingDescribedType<E>
const BindingTypeDescriptor* registerEnum(BindingTypeRegistry& registry,
                                          const BindingRegistration& registration) {
    BindingTypeBuilder builder = registry.beginStructure(
        registration.name, static_cast<std::uint32_t>(sizeof(E)), staticTypeInfo<E>(), true);
    if (builder.alreadyRegistered()) {
        return builder.descriptor();
    }
    constexpr auto description = describe(BindingDescribe<E>{});
    for (const auto& e : description.enumerators) {
        builder.addEnumerator(e.name, static_cast<std::int64_t>(e.value), e.description);
    }
    if (!registration.description.empty()) {
        builder.setDescription(registration.description);
    }
    builder.addTags(registration.tags);
    builder.setNameSpace(registration.nameSpace);
    return builder.descriptor();
}

}  // namespace tav

// Build-time identity of native types: every type gets one StaticTypeInfo
// record with a stable 32-bit id. Types given a name (records described to
// the registry) carry the signature text of StaticType::Name<T>, which spells
// the type with its namespaces; all others are named "#" and the id in hex.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "binding/fnv1a.h"

namespace tav {

// Never the id of an ordinary type; a descriptor under it is found by name only.
inline constexpr std::uint32_t kReservedTypeId = 0x1BE7EF8E;

struct StaticTypeInfo {
    // name: a signature text that outlives the record, or nullptr for "#%08X".
    StaticTypeInfo(std::uint32_t typeId, const char* signatureName);
    StaticTypeInfo(const StaticTypeInfo&) = delete;
    StaticTypeInfo& operator=(const StaticTypeInfo&) = delete;

    std::uint32_t id;
    const char* name;  // signature text, or text below
    char text[10];     // "#%08X" with its terminator; zero when name is a signature
};

// Tag through which describe(BindingDescribe<T>) is found by argument-dependent
// lookup: the description of a record or enum (record_description.h).
template <class T>
struct BindingDescribe {};

template <class T>
concept BindingDescribedType = requires {
    describe(BindingDescribe<T>{});
};

namespace StaticType {

// Described types are named by the signature of Name<T>, which spells the
// type with its namespaces; specialise to name another type.
template <class T>
struct HasName : std::bool_constant<BindingDescribedType<T>> {};

template <class T>
const char* Name() {
    return __PRETTY_FUNCTION__;
}

}  // namespace StaticType

namespace detail {

template <class T>
constexpr std::string_view typeSignature() {
    return __PRETTY_FUNCTION__;
}

// The hash of the compiler's spelling of the type: the same in every build of
// the same sources, distinct for distinct types in practice (tests check the
// registered ones). The reserved id and 0 are stepped over.
template <class T>
constexpr std::uint32_t staticTypeId() {
    std::uint32_t id = fnv1a(typeSignature<std::remove_cv_t<T>>());
    if (id == kReservedTypeId || id == 0) {
        id = fnv1a(typeSignature<T*>()) | 1u;
    }
    return id;
}

}  // namespace detail

// One record per type: a const or volatile T shares the record of T.
template <class T>
const StaticTypeInfo& staticTypeInfo() {
    using U = std::remove_cv_t<T>;
    if constexpr (!std::is_same_v<T, U>) {
        return staticTypeInfo<U>();
    } else {
        constexpr bool named = StaticType::HasName<U>::value;
        static const StaticTypeInfo info(detail::staticTypeId<U>(),
                                         named ? StaticType::Name<U>() : nullptr);
        return info;
    }
}

// The record of the reserved id.
const StaticTypeInfo& reservedStaticTypeInfo();

}  // namespace tav

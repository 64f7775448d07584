// Conversion between native C++ values and BindingValue trees. Each native
// type has a BindingConverter with toNative (value to native, validating the
// input and reporting through a BindingResult) and toValue (native to value).
// Records and enums are converted through their registered descriptors; the
// scalar rules (ranges, text parsing, enum names) live in the .cpp so that
// every instantiation shares them.
#pragma once

#include <concepts>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/binding_result.h"
#include "binding/binding_value.h"
#include "binding/conversion_messages.h"
#include "binding/static_type_info.h"
#include "binding/type_registry.h"
#include "text/message.h"

namespace tav {

// What a conversion needs besides the value: the registry (enum names, nested
// records) and, when known, the descriptor of the innermost record or enum
// type, so that nested conversions need no registry lookup.
struct BindingConversionContext {
    const BindingTypeRegistry& registry;
    const BindingTypeDescriptor* descriptor = nullptr;
};

template <class T, class Enable = void>
struct BindingConverter;  // not defined: the binding layer cannot convert T

template <class T>
concept BindingRecordType = std::is_class_v<T> && BindingDescribedType<T>;

template <class T>
concept BindingEnumType = std::is_enum_v<T>;

namespace detail {

// The scalar rules. Each returns true with the converted number, or reports
// the rule's message on result and returns false.
bool valueToBool(BindingResult& result, const BindingValue& value, std::string_view name,
                 bool& out);
bool valueToSigned(BindingResult& result, const BindingValue& value, std::string_view name,
                   std::int64_t minimum, std::int64_t maximum, const char* typeName,
                   std::int64_t& out);
bool valueToUnsigned(BindingResult& result, const BindingValue& value, std::string_view name,
                     std::uint64_t maximum, const char* typeName, std::uint64_t& out);
bool valueToFloating(BindingResult& result, const BindingValue& value, std::string_view name,
                     double maximum, const char* typeName, double& out);
bool valueToString(BindingResult& result, const BindingValue& value, std::string_view name,
                   const BindingTypeRegistry& registry, std::string& out);
bool valueToBlob(BindingResult& result, const BindingValue& value, std::string_view name,
                 std::vector<std::uint8_t>& out);
bool valueToEnumNumber(BindingResult& result, const BindingValue& value, std::string_view name,
                       const BindingTypeDescriptor* descriptor, const StaticTypeInfo& type,
                       std::int32_t& out);
// Fails with the vector (or map) message unless value is a collection (or
// structure).
bool expectCollection(BindingResult& result, const BindingValue& value, std::string_view name,
                      bool emptyIsMissing);
bool expectMapStructure(BindingResult& result, const BindingValue& value, std::string_view name);

// Records, field by field through the descriptor.
void recordToNative(BindingResult& result, void* record, const BindingValue& value,
                    std::string_view name, const BindingTypeDescriptor* descriptor,
                    const BindingTypeRegistry& registry);
void recordToValue(BindingResult& result, const void* record,
                   const BindingTypeDescriptor* descriptor, BindingValue& out,
                   const BindingTypeRegistry& registry);

// Whether an omit-default field leaves its member out.
bool isDefaultValue(const BindingValue& value) noexcept;

template <class T>
const BindingTypeDescriptor* descriptorFor(const BindingConversionContext& context) {
    return context.descriptor != nullptr ? context.descriptor
                                         : context.registry.find(staticTypeInfo<T>());
}

template <class T>
constexpr BindingTypeKind integerKind() {
    constexpr bool s = std::is_signed_v<T>;
    switch (sizeof(T)) {
        case 1:
            return s ? BindingTypeKind::Int8 : BindingTypeKind::UInt8;
        case 2:
            return s ? BindingTypeKind::Int16 : BindingTypeKind::UInt16;
        case 4:
            return s ? BindingTypeKind::Int32 : BindingTypeKind::UInt32;
        default:
            return s ? BindingTypeKind::Int64 : BindingTypeKind::UInt64;
    }
}

}  // namespace detail

// --- scalars -----------------------------------------------------------------

template <>
struct BindingConverter<bool> {
    static constexpr BindingTypeKind kind = BindingTypeKind::Bool;
    static void toNative(BindingResult& result, bool& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& /*context*/) {
        detail::valueToBool(result, value, name, out);
    }
    static void toValue(BindingResult& /*result*/, const bool& in, BindingValue& out,
                        const BindingConversionContext& /*context*/) {
        out.setBool(in);
    }
};

template <class T>
struct BindingConverter<T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>> {
    static constexpr BindingTypeKind kind = detail::integerKind<T>();

    static void toNative(BindingResult& result, T& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& /*context*/) {
        if constexpr (std::is_signed_v<T>) {
            std::int64_t number = 0;
            if (detail::valueToSigned(result, value, name, std::numeric_limits<T>::min(),
                                      std::numeric_limits<T>::max(), typeKindName(kind), number)) {
                out = static_cast<T>(number);
            }
        } else {
            std::uint64_t number = 0;
            if (detail::valueToUnsigned(result, value, name, std::numeric_limits<T>::max(),
                                        typeKindName(kind), number)) {
                out = static_cast<T>(number);
            }
        }
    }
    static void toValue(BindingResult& /*result*/, const T& in, BindingValue& out,
                        const BindingConversionContext& /*context*/) {
        if constexpr (std::is_signed_v<T>) {
            out.setInt64(in);
        } else {
            out.setUInt64(in);
        }
    }
};

template <class T>
struct BindingConverter<T, std::enable_if_t<std::is_floating_point_v<T>>> {
    static_assert(sizeof(T) <= sizeof(double), "long double is not a binding type");
    static constexpr BindingTypeKind kind =
        sizeof(T) == sizeof(float) ? BindingTypeKind::Float : BindingTypeKind::Double;

    static void toNative(BindingResult& result, T& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& /*context*/) {
        double number = 0;
        if (detail::valueToFloating(result, value, name, std::numeric_limits<T>::max(),
                                    typeKindName(kind), number)) {
            out = static_cast<T>(number);
        }
    }
    static void toValue(BindingResult& /*result*/, const T& in, BindingValue& out,
                        const BindingConversionContext& /*context*/) {
        out.setDouble(in);
    }
};

template <>
struct BindingConverter<std::string> {
    static constexpr BindingTypeKind kind = BindingTypeKind::String;
    static void toNative(BindingResult& result, std::string& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& context) {
        detail::valueToString(result, value, name, context.registry, out);
    }
    // The text up to its first zero byte.
    static void toValue(BindingResult& /*result*/, const std::string& in, BindingValue& out,
                        const BindingConversionContext& /*context*/) {
        out.setString(in.c_str());
    }
};

// A native BindingValue member ("object"): copied as it is, whatever its kind.
template <>
struct BindingConverter<BindingValue> {
    static constexpr BindingTypeKind kind = BindingTypeKind::Object;
    static void toNative(BindingResult& /*result*/, BindingValue& out, const BindingValue& value,
                         std::string_view /*name*/, const BindingConversionContext& /*context*/) {
        out.reset();
        out = value;
    }
    static void toValue(BindingResult& /*result*/, const BindingValue& in, BindingValue& out,
                        const BindingConversionContext& /*context*/) {
        out = in;
    }
};

// A byte vector is a blob (base64 text on the wire), not a vector of numbers.
template <>
struct BindingConverter<std::vector<std::uint8_t>> {
    static constexpr BindingTypeKind kind = BindingTypeKind::Blob;
    static void toNative(BindingResult& result, std::vector<std::uint8_t>& out,
                         const BindingValue& value, std::string_view name,
                         const BindingConversionContext& /*context*/) {
        detail::valueToBlob(result, value, name, out);
    }
    static void toValue(BindingResult& /*result*/, const std::vector<std::uint8_t>& in,
                        BindingValue& out, const BindingConversionContext& /*context*/) {
        out.setBlob(std::span<const std::uint8_t>(in));
    }
};

// --- enums and records ---------------------------------------------------------

template <BindingEnumType E>
struct BindingConverter<E> {
    static constexpr BindingTypeKind kind = BindingTypeKind::Enum;
    static void toNative(BindingResult& result, E& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& context) {
        std::int32_t number = 0;
        if (detail::valueToEnumNumber(result, value, name, detail::descriptorFor<E>(context),
                                      staticTypeInfo<E>(), number)) {
            out = static_cast<E>(number);  // sign-extended into wider enums
        }
    }
    // An 8-byte enum travels by its low 32 bits.
    static void toValue(BindingResult& /*result*/, const E& in, BindingValue& out,
                        const BindingConversionContext& /*context*/) {
        const auto number = static_cast<std::underlying_type_t<E>>(in);
        out.setEnum({static_cast<std::int32_t>(number), &staticTypeInfo<E>()});
    }
};

template <BindingRecordType T>
struct BindingConverter<T> {
    static constexpr BindingTypeKind kind = BindingTypeKind::Struct;
    static void toNative(BindingResult& result, T& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& context) {
        detail::recordToNative(result, &out, value, name, detail::descriptorFor<T>(context),
                               context.registry);
    }
    static void toValue(BindingResult& result, const T& in, BindingValue& out,
                        const BindingConversionContext& context) {
        detail::recordToValue(result, &in, detail::descriptorFor<T>(context), out,
                              context.registry);
    }
};

// --- containers ----------------------------------------------------------------

// Elements take the vector's own name; empty elements keep their default.
template <class E, class A>
requires(!std::is_same_v<E, std::uint8_t>) struct BindingConverter<std::vector<E, A>> {
    static constexpr BindingTypeKind kind = BindingTypeKind::Vector;
    using Element = E;

    static void toNative(BindingResult& result, std::vector<E, A>& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& context) {
        out.clear();
        if (!detail::expectCollection(result, value, name, std::is_same_v<E, bool>)) {
            return;
        }
        const auto elements = value.elements();
        out.resize(elements.size());
        for (std::size_t i = 0; i < elements.size() && result.ok; ++i) {
            if (elements[i].kind() == BindingValueKind::Empty) {
                continue;
            }
            if constexpr (std::is_same_v<E, bool>) {  // std::vector<bool> has no bool&
                bool element = false;
                BindingConverter<bool>::toNative(result, element, elements[i], name, context);
                out[i] = element;
            } else {
                BindingConverter<E>::toNative(result, out[i], elements[i], name, context);
            }
        }
    }

    static void toValue(BindingResult& result, const std::vector<E, A>& in, BindingValue& out,
                        const BindingConversionContext& context) {
        out.makeCollection();
        out.reserve(in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            BindingConverter<E>::toValue(result, elementRef(in, i), out.append(), context);
            if (!result.ok) {
                return;
            }
        }
    }

private:
    static decltype(auto) elementRef(const std::vector<E, A>& in, std::size_t i) {
        if constexpr (std::is_same_v<E, bool>) {
            return static_cast<bool>(in[i]);
        } else {
            return (in[i]);
        }
    }
};

// A map from text keys; members iterate (and are written) in key order.
template <class E, class H, class Eq, class A>
struct BindingConverter<std::unordered_map<std::string, E, H, Eq, A>> {
    using Map = std::unordered_map<std::string, E, H, Eq, A>;
    static constexpr BindingTypeKind kind = BindingTypeKind::Map;
    using Element = E;

    static void toNative(BindingResult& result, Map& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& context) {
        out.clear();
        if (!detail::expectMapStructure(result, value, name)) {
            return;
        }
        out.reserve(value.size());
        for (const BindingMember& member : value.members()) {
            if (member.value().kind() == BindingValueKind::Empty) {
                continue;
            }
            E& element = out[std::string(member.key())];
            BindingConverter<E>::toNative(result, element, member.value(), name, context);
            if (!result.ok) {
                return;
            }
        }
    }

    static void toValue(BindingResult& result, const Map& in, BindingValue& out,
                        const BindingConversionContext& context) {
        out.makeStructure();
        for (const auto& [key, element] : in) {
            BindingConverter<E>::toValue(result, element, out.member(key), context);
            if (!result.ok) {
                return;
            }
        }
    }
};

// An optional member: an empty value makes it absent, anything else present;
// an absent one becomes an empty value.
template <class T>
struct BindingConverter<std::optional<T>> {
    static constexpr BindingTypeKind kind = BindingConverter<T>::kind;
    static constexpr bool optional = true;

    static void toNative(BindingResult& result, std::optional<T>& out, const BindingValue& value,
                         std::string_view name, const BindingConversionContext& context) {
        if (value.kind() == BindingValueKind::Empty) {
            out.reset();
            return;
        }
        BindingConverter<T>::toNative(result, out.emplace(), value, name, context);
    }

    static void toValue(BindingResult& result, const std::optional<T>& in, BindingValue& out,
                        const BindingConversionContext& context) {
        if (!in.has_value()) {
            out.reset();
            return;
        }
        BindingConverter<T>::toValue(result, *in, out, context);
    }
};

// --- type references -------------------------------------------------------------

template <class T>
inline constexpr bool isBindingOptional = false;
template <class T>
inline constexpr bool isBindingOptional<std::optional<T>> = true;

template <class T>
concept BindingContainerType = requires {
    typename BindingConverter<T>::Element;
};

// The descriptor of the innermost record or enum of T (T itself, or the
// element of a container or optional), null when there is none.
template <class T>
const BindingTypeDescriptor* innermostDescriptor(const BindingTypeRegistry& registry) {
    if constexpr (isBindingOptional<T>) {
        return innermostDescriptor<typename T::value_type>(registry);
    } else if constexpr (BindingContainerType<T>) {
        return innermostDescriptor<typename BindingConverter<T>::Element>(registry);
    } else if constexpr (BindingRecordType<T> || BindingEnumType<T>) {
        return registry.find(staticTypeInfo<T>());
    } else {
        return nullptr;
    }
}

// How a field, element or argument of type T is described to the registry.
template <class T>
BindingTypeRef bindingTypeRef(const BindingTypeRegistry& registry) {
    if constexpr (isBindingOptional<T>) {
        return {BindingConverter<T>::kind, BindingTypeKind::None, nullptr};
    } else if constexpr (BindingContainerType<T>) {
        using E = typename BindingConverter<T>::Element;
        const bool named = BindingRecordType<E> || BindingEnumType<E>;
        return {BindingConverter<T>::kind, BindingConverter<E>::kind,
                named ? registry.find(staticTypeInfo<E>()) : nullptr};
    } else if constexpr (BindingRecordType<T> || BindingEnumType<T>) {
        return {BindingConverter<T>::kind, BindingTypeKind::None,
                registry.find(staticTypeInfo<T>())};
    } else {
        return {BindingConverter<T>::kind, BindingTypeKind::None, nullptr};
    }
}

// The element's own description, for containers whose element is itself a
// container; zero otherwise.
template <class T>
BindingTypeRef bindingElementTypeRef(const BindingTypeRegistry& registry) {
    if constexpr (BindingContainerType<T> && !isBindingOptional<T>) {
        using E = typename BindingConverter<T>::Element;
        if constexpr (BindingContainerType<E>) {
            return bindingTypeRef<E>(registry);
        }
    }
    return {};
}

// --- top level ---------------------------------------------------------------------

// Value to native by T's own rule alone, an empty value included: for a
// caller whose answer has a rule of its own for "no value" (a list's
// absence is "not a collection").
template <class T>
BindingResult fromValueByOwnRule(T& native, const BindingValue& value, std::string_view name,
                                 const BindingTypeRegistry& registry) {
    BindingResult result;
    const BindingConversionContext context{registry, innermostDescriptor<T>(registry)};
    BindingConverter<T>::toNative(result, native, value, name, context);
    return result;
}

// Value to native: an empty value is missing; anything else follows T's rules.
// name is what messages call the value ("<result>", an argument's name).
template <class T>
BindingResult fromValue(T& native, const BindingValue& value, std::string_view name,
                        const BindingTypeRegistry& registry) {
    if (value.kind() == BindingValueKind::Empty) {
        BindingResult result;
        result.fail(makeMessage(messages::kValueRequired, name));
        return result;
    }
    return fromValueByOwnRule(native, value, name, registry);
}

// Native to value: the result's value holds the converted tree.
template <class T>
BindingResult toValue(const T& native, const BindingTypeRegistry& registry) {
    BindingResult result;
    const BindingConversionContext context{registry, innermostDescriptor<T>(registry)};
    BindingConverter<T>::toValue(result, native, result.value, context);
    return result;
}

// Native to value, written into out, a value of any tree (a member of a
// structure being built, say), so that nothing is copied into place after.
// The result carries only the outcome.
template <class T>
BindingResult toValueIn(BindingValue& out, const T& native, const BindingTypeRegistry& registry) {
    BindingResult result;
    const BindingConversionContext context{registry, innermostDescriptor<T>(registry)};
    BindingConverter<T>::toValue(result, native, out, context);
    return result;
}

}  // namespace tav

// Helpers shared by the conversion, registry and API model tests: builders
// for input values, a compact one-line dump of a value tree with its kinds,
// the outcome of a conversion as one comparable text, and a one-line summary
// of a registered type's fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "binding/binding_result.h"
#include "binding/binding_value.h"
#include "binding/native_conversion.h"
#include "binding/type_registry.h"
#include "support/value_dump.h"

namespace tav::testing {

inline BindingValue none() {
    return {};
}

// A value that set builds.
template <class Set>
BindingValue made(Set set) {
    BindingValue v;
    set(v);
    return v;
}

inline BindingValue boolean(bool b) {
    return made([&](BindingValue& v) { v.setBool(b); });
}

inline BindingValue sgn(std::int64_t n) {
    return made([&](BindingValue& v) { v.setInt64(n); });
}

inline BindingValue uns(std::uint64_t n) {
    return made([&](BindingValue& v) { v.setUInt64(n); });
}

inline BindingValue flt(double x) {
    return made([&](BindingValue& v) { v.setDouble(x); });
}

inline BindingValue text(std::string_view s) {
    return made([&](BindingValue& v) { v.setString(s); });
}

inline BindingValue blob(std::initializer_list<std::uint8_t> bytes) {
    return made([&](BindingValue& v) { v.setBlob(BindingBlob(bytes)); });
}

inline BindingValue enumValue(std::int32_t number, const StaticTypeInfo* type) {
    return made([&](BindingValue& v) { v.setEnum({number, type}); });
}

template <class E>
BindingValue enumOf(E e) {
    return enumValue(static_cast<std::int32_t>(e), &staticTypeInfo<E>());
}

inline BindingValue list(std::initializer_list<BindingValue> elements) {
    BindingValue v;
    v.makeCollection();
    for (const BindingValue& e : elements) {
        v.append() = e;
    }
    return v;
}

inline BindingValue object(std::initializer_list<std::pair<const char*, BindingValue>> members) {
    BindingValue v;
    v.makeStructure();
    for (const auto& [key, value] : members) {
        v.member(key) = value;
    }
    return v;
}

// "ok: " and the dump of the native value converted back, or "error: " and
// the message: one text through which every conversion test compares.
inline std::string outcome(const BindingResult& result, const BindingValue& back) {
    return result.ok ? "ok: " + dump(back) : "error: " + std::string(result.error());
}

inline std::string gives(std::string_view dumped) {
    return "ok: " + std::string(dumped);
}

inline std::string fails(std::string_view message) {
    return "error: " + std::string(message);
}

// Converts input into a fresh T under the name "x" and, when that works, T
// back to a value.
template <class T>
std::string convertAs(const BindingValue& input, const BindingTypeRegistry& registry,
                      std::string_view name = "x") {
    T native{};
    const BindingResult result = fromValue(native, input, name, registry);
    if (!result.ok) {
        return outcome(result, {});
    }
    const BindingResult back = toValue(native, registry);
    return back.ok ? outcome(result, back.value) : "back: " + outcome(back, {});
}

// The whole message of a failed result (or "ok").
inline std::string messageOf(const BindingResult& result) {
    return result.ok ? "ok" : std::string(result.error());
}

// "name:kind" per field, with "<element>" for containers, the descriptor's
// name for enums and records, "?" for optional members and "!" for flags.
inline std::string fieldSummary(const BindingTypeDescriptor& d) {
    const auto describeRef = [](const BindingTypeRef& ref) {
        std::string out = typeKindName(ref.kind);
        if (ref.elementKind != BindingTypeKind::None) {
            out += "<" + std::string(typeKindName(ref.elementKind)) + ">";
        }
        if (ref.descriptor != nullptr) {
            out += " " + ref.descriptor->name;
        }
        return out;
    };
    std::string out;
    for (const BindingField& f : d.fields) {
        out += (out.empty() ? "" : ", ") + f.name + ":" + describeRef(f.type);
        if (f.elementType.kind != BindingTypeKind::None) {
            out += " of " + describeRef(f.elementType);
        }
        out += f.optional ? "?" : "";
        out += f.flags != 0 ? "!" + std::to_string(f.flags) : "";
    }
    return out;
}

}  // namespace tav::testing

// StructuredError: how a request to another plugin failed, as a 32-bit code,
// a message and typed named attributes in the order they were first set.
// errorText gives its text form ("message (code)", or a JSON object when it
// carries attributes), which is also what makeMessage("%1", error) prints.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "text/format_arg.h"

namespace tav {

// An attribute's value; the alternative's index + 1 is its tag.
using StructuredErrorValue = std::variant<bool, std::int64_t, std::uint64_t, double, std::string>;

enum class StructuredErrorTag : std::uint8_t {
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Double = 4,
    String = 5,
};

struct StructuredErrorAttribute {
    std::string name;
    StructuredErrorValue value;

    StructuredErrorTag tag() const noexcept {
        return static_cast<StructuredErrorTag>(value.index() + 1);
    }

    friend bool operator==(const StructuredErrorAttribute&,
                           const StructuredErrorAttribute&) = default;
};

// C++ types setAttribute takes, each stored under the matching tag: bool,
// any other integer (signed or unsigned, widened to 64 bits), floating point,
// and anything that views as text.
template <class T>
concept StructuredErrorAttributeType =
    std::integral<T> || std::floating_point<T> || std::convertible_to<const T&, std::string_view>;

class StructuredError {
public:
    // The name under which a non-zero code is also kept as an attribute.
    static constexpr std::string_view kCodeAttribute = "errorCode_int";

    // No code, a null message, no attributes: the text form is empty.
    StructuredError() = default;
    // setCode(code) then setMessage(message).
    StructuredError(std::int32_t code, std::string message);

    std::int32_t code() const noexcept { return code_; }
    // A non-zero code is also set as attribute "errorCode_int"; setting 0
    // leaves any earlier attribute in place.
    void setCode(std::int32_t code);

    // A null message (the default) makes the whole text form empty.
    bool hasMessage() const noexcept { return message_.has_value(); }
    // The message, "" when null.
    std::string_view message() const noexcept {
        return message_ ? std::string_view(*message_) : std::string_view();
    }
    void setMessage(std::string message) { message_ = std::move(message); }

    // Sets the named attribute: a new name goes last, a known one keeps its
    // place and takes the new value (and tag).
    template <StructuredErrorAttributeType T>
    void setAttribute(std::string_view name, const T& value) {
        if constexpr (std::same_as<T, bool>) {
            setAttributeValue(name, StructuredErrorValue(std::in_place_index<0>, value));
        } else if constexpr (std::signed_integral<T>) {
            setAttributeValue(name, StructuredErrorValue(std::in_place_index<1>, value));
        } else if constexpr (std::unsigned_integral<T>) {
            setAttributeValue(name, StructuredErrorValue(std::in_place_index<2>, value));
        } else if constexpr (std::floating_point<T>) {
            setAttributeValue(name, StructuredErrorValue(std::in_place_index<3>, value));
        } else {
            setAttributeValue(
                name, StructuredErrorValue(std::in_place_index<4>, std::string_view(value)));
        }
    }
    void setAttributeValue(std::string_view name, StructuredErrorValue value);
    // Returns whether there was such an attribute.
    bool removeAttribute(std::string_view name);
    // The named attribute's value, or null.
    const StructuredErrorValue* findAttribute(std::string_view name) const noexcept;
    std::span<const StructuredErrorAttribute> attributes() const noexcept { return attributes_; }

    friend bool operator==(const StructuredError&, const StructuredError&) = default;

private:
    std::int32_t code_ = 0;
    std::optional<std::string> message_;
    // Few attributes per error: a vector searched by name keeps insertion
    // order at no cost.
    std::vector<StructuredErrorAttribute> attributes_;
};

// The text form: "" when the message is null; the message alone when there
// are no attributes (or only "errorFields_int") and the code is 0; with a
// non-zero code "message (code)"; otherwise a compact JSON object with
// "message" first and then every attribute in order.
std::string errorText(const StructuredError& error);

template <>
struct FormatArgTraits<StructuredError> : TextFormArgTraits<StructuredError, &errorText> {};

}  // namespace tav

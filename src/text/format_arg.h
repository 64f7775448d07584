// Arguments of the message formatter: each one travels as a pointer to its
// value plus a descriptor of its kind, which prints the value and reads it as
// an integer. Built-in kinds cover integers, char, double and text;
// FormatArgTraits maps C++ types onto kinds and is the point where a later
// layer adds its own types.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

// The printf length modifier of a placeholder.
enum class FormatLength : std::uint8_t { None, hh, h, l, ll, j, z, t, L };

// Flag bits of a placeholder.
enum FormatFlag : unsigned {
    kFormatFlagMinus = 1u << 0,  // "-"
    kFormatFlagPlus = 1u << 1,   // "+"
    kFormatFlagSpace = 1u << 2,  // " "
    kFormatFlagHash = 1u << 3,   // "#"
    kFormatFlagZero = 1u << 4,   // "0"
};

// One placeholder once the formatter has resolved it: "*" fields are already
// numbers and the conversion is one the argument's kind accepts.
struct FormatDirective {
    unsigned flags = 0;
    int width = -1;      // -1: none
    int precision = -1;  // -1: none
    FormatLength length = FormatLength::None;
    char conversion = 0;
};

// Prints `value` as snprintf would: at most size - 1 characters and a zero
// byte into `out` (nothing when size is 0, and then `out` may be null);
// returns the full length of the text, or a negative number on failure.
using FormatPrintFn = int (*)(char* out, std::size_t size, const FormatDirective& directive,
                              const void* value);
using FormatIntegerFn = std::int64_t (*)(const void* value);

struct FormatArgKind {
    FormatPrintFn print;
    FormatIntegerFn asInteger;  // reads "*" widths and precisions; null unless isInteger
    bool isInteger;
    const char* allowedConversions;
    char defaultConversion;
    FormatLength defaultLength;  // added, with the default conversion, to the bare "%1" form
};

struct FormatArg {
    const FormatArgKind* kind;
    const void* value;  // points to an object of the type the kind expects
};

// Built-in kinds; the comment names the type `value` points to.
extern const FormatArgKind kInt64ArgKind;   // std::int64_t
extern const FormatArgKind kUInt64ArgKind;  // std::uint64_t
extern const FormatArgKind kInt32ArgKind;   // std::int32_t
extern const FormatArgKind kUInt32ArgKind;  // std::uint32_t
extern const FormatArgKind kCharArgKind;    // char
extern const FormatArgKind kDoubleArgKind;  // double
extern const FormatArgKind kTextArgKind;    // const char* (null prints as "(null)")
extern const FormatArgKind kStringArgKind;  // std::string

// Prints a text with a "%s" directive (flags "-", width, precision); for kinds
// that print through a text of their own.
int printFormatText(char* out, std::size_t size, const FormatDirective& directive,
                    const char* text);

// FormatArgTraits<T> tells the message builders how to pass a T:
//   using Stored = ...;                       // kept alive for the call
//   static Stored store(const T& value);
//   static FormatArg arg(const Stored& stored);
template <class T>
struct FormatArgTraits;

namespace detail {

template <class S, const FormatArgKind& Kind>
struct StoredAs {
    using Stored = S;
    static FormatArg arg(const Stored& stored) { return {&Kind, &stored}; }
};

}  // namespace detail

// Smaller integers widen to the 32-bit kinds (long too, where it has 32
// bits); signed and unsigned char count as numbers, only char as a character.
template <class T>
requires(std::signed_integral<T> && sizeof(T) <= 4) struct FormatArgTraits<T>
    : detail::StoredAs<std::int32_t, kInt32ArgKind> {
    static std::int32_t store(T value) { return value; }
};

template <class T>
requires(std::signed_integral<T> && sizeof(T) == 8) struct FormatArgTraits<T>
    : detail::StoredAs<std::int64_t, kInt64ArgKind> {
    static std::int64_t store(T value) { return value; }
};

template <class T>
requires(std::unsigned_integral<T> && sizeof(T) <= 4) struct FormatArgTraits<T>
    : detail::StoredAs<std::uint32_t, kUInt32ArgKind> {
    static std::uint32_t store(T value) { return value; }
};

template <class T>
requires(std::unsigned_integral<T> && sizeof(T) == 8) struct FormatArgTraits<T>
    : detail::StoredAs<std::uint64_t, kUInt64ArgKind> {
    static std::uint64_t store(T value) { return value; }
};

template <>
struct FormatArgTraits<bool> : detail::StoredAs<std::int32_t, kInt32ArgKind> {
    static std::int32_t store(bool value) { return value ? 1 : 0; }
};

template <>
struct FormatArgTraits<char> : detail::StoredAs<char, kCharArgKind> {
    static char store(char value) { return value; }
};

template <>
struct FormatArgTraits<double> : detail::StoredAs<double, kDoubleArgKind> {
    static double store(double value) { return value; }
};

template <>
struct FormatArgTraits<float> : detail::StoredAs<double, kDoubleArgKind> {
    static double store(float value) { return value; }
};

template <>
struct FormatArgTraits<const char*> : detail::StoredAs<const char*, kTextArgKind> {
    static const char* store(const char* value) { return value; }
};

template <>
struct FormatArgTraits<char*> : FormatArgTraits<const char*> {};

template <>
struct FormatArgTraits<std::string> : detail::StoredAs<const char*, kTextArgKind> {
    static const char* store(const std::string& value) { return value.c_str(); }
};

// A view has no zero byte after it, so it is copied.
template <>
struct FormatArgTraits<std::string_view> : detail::StoredAs<std::string, kStringArgKind> {
    static std::string store(std::string_view value) { return std::string(value); }
};

// Traits for a type printed through a text it produces, with "s" only:
//   template <> struct FormatArgTraits<Error> : TextFormArgTraits<Error, &errorText> {};
// where errorText(const Error&) returns a std::string. The value is not
// copied; its text is produced when the placeholder is printed.
template <class T, auto TextOf>
struct TextFormArgTraits {
    using Stored = const T*;
    static Stored store(const T& value) { return &value; }

    static int print(char* out, std::size_t size, const FormatDirective& directive,
                     const void* value) {
        const std::string text = TextOf(*static_cast<const T*>(value));
        return printFormatText(out, size, directive, text.c_str());
    }

    static constexpr FormatArgKind kind{&print, nullptr, false, "s", 's', FormatLength::None};

    static FormatArg arg(const Stored& stored) { return {&kind, stored}; }
};

}  // namespace tav

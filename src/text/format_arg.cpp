#include "text/format_arg.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

namespace tav {
namespace {

// Rewrites a directive into a printf format for exactly one argument of the type
// the caller passes. Flags and precisions that C leaves undefined for the
// conversion are dropped, so that no placeholder text can reach undefined
// behaviour inside the C library.
class PrintfFormat {
public:
    PrintfFormat(const FormatDirective& directive, const char* length) {
        const char conv = directive.conversion;
        unsigned flags = directive.flags;
        if (std::strchr("diucs", conv) != nullptr) {
            flags &= ~unsigned{kFormatFlagHash};
        }
        if (conv == 'c' || conv == 's') {
            flags &= ~unsigned{kFormatFlagZero};
        }
        put('%');
        static constexpr struct {
            unsigned bit;
            char ch;
        } kFlagChars[] = {{kFormatFlagMinus, '-'},
                          {kFormatFlagPlus, '+'},
                          {kFormatFlagSpace, ' '},
                          {kFormatFlagHash, '#'},
                          {kFormatFlagZero, '0'}};
        for (const auto& f : kFlagChars) {
            if ((flags & f.bit) != 0) {
                put(f.ch);
            }
        }
        if (directive.width >= 0) {
            putNumber(directive.width);
        }
        if (directive.precision >= 0 && conv != 'c') {
            put('.');
            putNumber(directive.precision);
        }
        for (const char* l = length; *l != '\0'; ++l) {
            put(*l);
        }
        put(conv);
        text_[size_] = '\0';
    }

    const char* c_str() const { return text_; }

private:
    void put(char c) { text_[size_++] = c; }

    void putNumber(int value) {
        char digits[16];
        int count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0);
        while (count > 0) {
            put(digits[--count]);
        }
    }

    // "%", five flags, two 10-digit numbers, ".", two length characters,
    // the conversion and the zero byte.
    char text_[40] = {};
    std::size_t size_ = 0;
};

template <class T>
int printOne(char* out, std::size_t size, const FormatDirective& directive, const char* length,
             T value) {
    const PrintfFormat format(directive, length);
    // The format is built above from a checked directive, and T is the type its
    // conversion and length modifier call for.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return std::snprintf(out, size, format.c_str(), value);
#pragma GCC diagnostic pop
}

// An explicit placeholder keeps its own length modifier, so the value is
// converted to the C type that modifier names: "%d" on a 64-bit value shows
// its low 32 bits, as C's own printf would on the platforms we ship.
template <bool Signed>
int printInteger(char* out, std::size_t size, const FormatDirective& directive,
                 std::uint64_t bits) {
    using Ptrdiff =
        std::conditional_t<Signed, std::ptrdiff_t, std::make_unsigned_t<std::ptrdiff_t>>;
    using Size = std::conditional_t<Signed, std::make_signed_t<std::size_t>, std::size_t>;
    using Int = std::conditional_t<Signed, int, unsigned>;
    using Long = std::conditional_t<Signed, long, unsigned long>;
    using LongLong = std::conditional_t<Signed, long long, unsigned long long>;
    using Max = std::conditional_t<Signed, std::intmax_t, std::uintmax_t>;
    switch (directive.length) {
        case FormatLength::hh:
            return printOne(out, size, directive, "hh", static_cast<Int>(bits));
        case FormatLength::h:
            return printOne(out, size, directive, "h", static_cast<Int>(bits));
        case FormatLength::l:
            return printOne(out, size, directive, "l", static_cast<Long>(bits));
        case FormatLength::ll:
        case FormatLength::L:  // undefined for integers in C; taken as "ll"
            return printOne(out, size, directive, "ll", static_cast<LongLong>(bits));
        case FormatLength::j:
            return printOne(out, size, directive, "j", static_cast<Max>(bits));
        case FormatLength::z:
            return printOne(out, size, directive, "z", static_cast<Size>(bits));
        case FormatLength::t:
            return printOne(out, size, directive, "t", static_cast<Ptrdiff>(bits));
        case FormatLength::None:
            break;
    }
    return printOne(out, size, directive, "", static_cast<Int>(bits));
}

// Integer kinds share one path: the value's bits, sign-extended for signed
// kinds, converted for the conversion at hand.
int printIntegerBits(char* out, std::size_t size, const FormatDirective& directive,
                     std::uint64_t bits) {
    switch (directive.conversion) {
        case 'c':
            return printOne(out, size, directive, "", static_cast<int>(bits));
        case 'd':
        case 'i':
            return printInteger<true>(out, size, directive, bits);
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            return printInteger<false>(out, size, directive, bits);
        default:
            return -1;
    }
}

template <class T>
const T& valueOf(const void* value) {
    return *static_cast<const T*>(value);
}

int printInt64(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    return printIntegerBits(out, size, directive,
                            static_cast<std::uint64_t>(valueOf<std::int64_t>(value)));
}

int printUInt64(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    return printIntegerBits(out, size, directive, valueOf<std::uint64_t>(value));
}

int printInt32(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    const std::int64_t wide = valueOf<std::int32_t>(value);
    return printIntegerBits(out, size, directive, static_cast<std::uint64_t>(wide));
}

int printUInt32(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    return printIntegerBits(out, size, directive, valueOf<std::uint32_t>(value));
}

// A char argument promotes to int as it would through C varargs, sign
// included where char is signed.
std::int64_t charAsInteger(const void* value) {
    return static_cast<int>(valueOf<char>(value));  // NOLINT(bugprone-signed-char-misuse)
}

int printChar(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    const std::int64_t wide = charAsInteger(value);
    return printIntegerBits(out, size, directive, static_cast<std::uint64_t>(wide));
}

// Length modifiers mean nothing for a double ("L" would ask for a long
// double), so none is passed on.
int printDouble(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    if (directive.conversion == '\0' || std::strchr("aAeEfFgG", directive.conversion) == nullptr) {
        return -1;
    }
    return printOne(out, size, directive, "", valueOf<double>(value));
}

int printText(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    return printFormatText(out, size, directive, valueOf<const char*>(value));
}

int printString(char* out, std::size_t size, const FormatDirective& directive, const void* value) {
    return printFormatText(out, size, directive, valueOf<std::string>(value).c_str());
}

std::int64_t int64AsInteger(const void* value) {
    return valueOf<std::int64_t>(value);
}

// Beyond the signed range a width could not be honoured anyway.
std::int64_t uint64AsInteger(const void* value) {
    const std::uint64_t v = valueOf<std::uint64_t>(value);
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(v > kMax ? kMax : v);
}

std::int64_t int32AsInteger(const void* value) {
    return valueOf<std::int32_t>(value);
}

std::int64_t uint32AsInteger(const void* value) {
    return valueOf<std::uint32_t>(value);
}

}  // namespace

const FormatArgKind kInt64ArgKind{&printInt64, &int64AsInteger, true, "dciouxX",
                                  'd',         FormatLength::ll};
const FormatArgKind kUInt64ArgKind{&printUInt64, &uint64AsInteger, true, "ucdioxX",
                                   'u',          FormatLength::ll};
const FormatArgKind kInt32ArgKind{&printInt32, &int32AsInteger,   true, "dciouxX",
                                  'd',         FormatLength::None};
const FormatArgKind kUInt32ArgKind{&printUInt32, &uint32AsInteger,  true, "ucdioxX",
                                   'u',          FormatLength::None};
const FormatArgKind kCharArgKind{&printChar, &charAsInteger,    true, "cdiouxX",
                                 'c',        FormatLength::None};
const FormatArgKind kDoubleArgKind{&printDouble, nullptr, false,
                                   "gaefGAEF",   'g',     FormatLength::None};
const FormatArgKind kTextArgKind{&printText, nullptr, false, "s", 's', FormatLength::None};
const FormatArgKind kStringArgKind{&printString, nullptr, false, "s", 's', FormatLength::None};

int printFormatText(char* out, std::size_t size, const FormatDirective& directive,
                    const char* text) {
    if (directive.conversion != 's') {
        return -1;
    }
    return printOne(out, size, directive, "", text != nullptr ? text : "(null)");
}

}  // namespace tav

#include "text/format_message.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace tav {
namespace {

// A placeholder must stay shorter than this, "%" and conversion included.
constexpr std::size_t kMaxPlaceholderLength = 60;
constexpr int kMaxField = std::numeric_limits<int>::max();
constexpr std::size_t kMaxIndex = std::numeric_limits<std::size_t>::max();
// One placeholder prints at most this much, so that every length the C
// library reports for it fits in an int.
constexpr std::size_t kMaxPiece = std::size_t{1} << 28;
// More digits than any double has in its exact decimal expansion (about
// 1100 after the point for the smallest subnormal).
constexpr std::int64_t kPrecisionSlack = 1200;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads decimal digits, saturating at `limit`.
template <class T>
T readNumber(const char*& p, T limit) {
    T value = 0;
    for (; isDigit(*p); ++p) {
        const auto digit = static_cast<T>(*p - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return value;
}

// The number of the digits from begin up to end, saturating at `limit`.
template <class T>
T numberBefore(const char* begin, const char* end, T limit) {
    T value = 0;
    for (const char* p = begin; p != end; ++p) {
        const auto digit = static_cast<T>(*p - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return value;
}

unsigned flagOf(char c) {
    switch (c) {
        case '-':
            return kFormatFlagMinus;
        case '+':
            return kFormatFlagPlus;
        case ' ':
            return kFormatFlagSpace;
        case '#':
            return kFormatFlagHash;
        case '0':
            return kFormatFlagZero;
        default:
            return 0;
    }
}

// A width or precision as written.
struct Field {
    enum class Source { None, Literal, NextArg, IndexedArg };
    Source source = Source::None;
    std::size_t number = 0;  // the literal, or the 1-based index of the argument
    bool cut = false;        // a "*" whose argument is read but not applied
};

struct Placeholder {
    std::size_t index = 0;  // 1-based; 0 takes the next argument in order
    bool bare = false;      // "%" alone: the "%1" form, or a "%" that ends the text
    unsigned flags = 0;
    Field width;
    Field precision;
    FormatLength length = FormatLength::None;
    char conversion = 0;  // 0 when the text ended first
};

const char* parseField(const char* q, Field& field) {
    if (*q == '*') {
        ++q;
        const char* after = q;
        const std::size_t index = readNumber(after, kMaxIndex);
        if (after != q && *after == '$') {
            field = {Field::Source::IndexedArg, index};
            return after + 1;
        }
        // Digits without "$" are not part of the field.
        field = {Field::Source::NextArg, 0};
        return q;
    }
    if (isDigit(*q)) {
        field = {Field::Source::Literal, static_cast<std::size_t>(readNumber(q, kMaxField))};
    }
    return q;
}

const char* parseLength(const char* q, FormatLength& length) {
    switch (*q) {
        case 'h':
            length = q[1] == 'h' ? FormatLength::hh : FormatLength::h;
            return q + (q[1] == 'h' ? 2 : 1);
        case 'l':
            length = q[1] == 'l' ? FormatLength::ll : FormatLength::l;
            return q + (q[1] == 'l' ? 2 : 1);
        case 'L':
            length = FormatLength::L;
            return q + 1;
        case 'j':
            length = FormatLength::j;
            return q + 1;
        case 't':
            length = FormatLength::t;
            return q + 1;
        case 'z':
            length = FormatLength::z;
            return q + 1;
        default:
            return q;
    }
}

// Where the parts of a placeholder lie in the text: [begin, end) each.
struct PlaceholderMarks {
    const char* flags;
    const char* width;
    const char* widthEnd;
    const char* precision;  // after the "."; null without one
    const char* length;
};

// The text ended before the conversion: the placeholder's last character gives
// way to the default conversion, and whatever it contributed is gone. "%12"
// keeps width 1, "%3" no width, "%.5" precision 0 ("." alone), "%*" reads its
// argument but applies nothing, "%ll" becomes "%l". The "N$" of an index is
// not part of what is printed, so "%1$" loses nothing.
void dropLastCharacter(Placeholder& ph, const PlaceholderMarks& marks, const char* end) {
    const char* const last = end - 1;
    if (end != marks.length) {
        ph.length = ph.length == FormatLength::hh   ? FormatLength::h
                    : ph.length == FormatLength::ll ? FormatLength::l
                                                    : FormatLength::None;
    } else if (marks.precision != nullptr) {
        if (marks.precision == end) {
            ph.precision = {};  // the "." itself
        } else if (ph.precision.source == Field::Source::Literal) {
            ph.precision.number = numberBefore(marks.precision, last, kMaxField);
        } else {
            ph.precision.cut = true;
        }
    } else if (marks.widthEnd != marks.width) {
        if (ph.width.source != Field::Source::Literal) {
            ph.width.cut = true;
        } else if (last == marks.width) {
            ph.width = {};
        } else {
            ph.width.number = numberBefore(marks.width, last, kMaxField);
        }
    } else if (marks.width != marks.flags) {
        // The flag goes unless it was also written earlier.
        if (std::memchr(marks.flags, *last, static_cast<std::size_t>(last - marks.flags)) ==
            nullptr) {
            ph.flags &= ~flagOf(*last);
        }
    }
}

// Reads the placeholder starting at the "%" under `p` and moves `p` past it.
// A leading number that names no argument (0, or above `count`) is read
// again as flags and width: "%5 items" with one argument is "%5" plus the
// conversion " ".
Placeholder parsePlaceholder(const char*& p, std::size_t count) {
    Placeholder ph;
    const char* q = p + 1;
    if (isDigit(*q)) {
        const char* after = q;
        const std::size_t number = readNumber(after, kMaxIndex);
        if (number != 0 && number <= count) {
            ph.index = number;
            if (*after != '$') {
                ph.bare = true;
                p = after;
                return ph;
            }
            q = after + 1;
        }
    }
    PlaceholderMarks marks{q, nullptr, nullptr, nullptr, nullptr};
    for (; flagOf(*q) != 0; ++q) {
        ph.flags |= flagOf(*q);
    }
    marks.width = q;
    q = parseField(q, ph.width);
    marks.widthEnd = q;
    if (*q == '.') {
        marks.precision = q + 1;
        q = parseField(q + 1, ph.precision);
        if (ph.precision.source == Field::Source::None) {
            ph.precision = {Field::Source::Literal, 0};  // "." alone means 0, as in printf
        }
    }
    marks.length = q;
    q = parseLength(q, ph.length);
    if (*q != '\0') {
        ph.conversion = *q++;
    } else if (q == p + 1) {
        ph.bare = true;
    } else {
        dropLastCharacter(ph, marks, q);
    }
    p = q;
    return ph;
}

bool isNumericConversion(char c) {
    return c != '\0' && std::strchr("diouxXaAeEfFgG", c) != nullptr;
}

bool allows(const FormatArgKind& kind, char conversion) {
    return conversion != '\0' && kind.allowedConversions != nullptr &&
           std::strchr(kind.allowedConversions, conversion) != nullptr;
}

class Formatter {
public:
    Formatter(char* buffer, std::size_t capacity, const FormatArg* args, std::size_t count)
        : buffer_(buffer), capacity_(capacity), args_(args), count_(args != nullptr ? count : 0) {}

    void run(const char* p) {
        while (*p != '\0' && pos_ < capacity_) {
            if (*p != '%') {
                buffer_[pos_++] = *p++;
            } else if (p[1] == '%') {
                buffer_[pos_++] = '%';
                p += 2;
            } else if (!placeholder(p)) {
                return;
            }
        }
    }

    std::size_t written() const { return pos_; }

private:
    const FormatArg* argument(std::size_t index) const {
        if (index == 0 || index > count_ || args_[index - 1].kind == nullptr) {
            return nullptr;
        }
        return &args_[index - 1];
    }

    bool readStar(const Field& field, std::int64_t& value) {
        const FormatArg* arg =
            field.source == Field::Source::IndexedArg ? argument(field.number) : argument(next_++);
        if (arg == nullptr || !arg->kind->isInteger || arg->kind->asInteger == nullptr) {
            return false;
        }
        value = arg->kind->asInteger(arg->value);
        return true;
    }

    // A negative "*" width means left alignment, as in printf.
    bool resolveWidth(const Field& field, FormatDirective& directive) {
        if (field.source == Field::Source::None) {
            return true;
        }
        if (field.source == Field::Source::Literal) {
            directive.width = static_cast<int>(field.number);
            return true;
        }
        std::int64_t value = 0;
        if (!readStar(field, value)) {
            return false;
        }
        if (field.cut) {
            return true;
        }
        if (value < 0) {
            directive.flags |= kFormatFlagMinus;
            value = value < -kMaxField ? kMaxField : -value;
        }
        directive.width = static_cast<int>(std::min<std::int64_t>(value, kMaxField));
        return true;
    }

    // A negative "*" precision means none, as in printf.
    bool resolvePrecision(const Field& field, FormatDirective& directive) {
        if (field.source == Field::Source::None) {
            return true;
        }
        if (field.source == Field::Source::Literal) {
            directive.precision = static_cast<int>(field.number);
            return true;
        }
        std::int64_t value = 0;
        if (!readStar(field, value)) {
            return false;
        }
        if (field.cut) {
            directive.precision = 0;  // "." alone
            return true;
        }
        directive.precision =
            value < 0 ? -1 : static_cast<int>(std::min<std::int64_t>(value, kMaxField));
        return true;
    }

    bool placeholder(const char*& p) {
        const char* start = p;
        const Placeholder ph = parsePlaceholder(p, count_);
        if (static_cast<std::size_t>(p - start) >= kMaxPlaceholderLength) {
            return false;
        }
        FormatDirective directive;
        directive.flags = ph.flags;
        // Stars come before the value, as in printf's own argument order.
        if (!resolveWidth(ph.width, directive) || !resolvePrecision(ph.precision, directive)) {
            return false;
        }
        const FormatArg* arg = argument(ph.index != 0 ? ph.index : next_++);
        if (arg == nullptr) {
            return false;
        }
        const FormatArgKind& kind = *arg->kind;
        if (ph.bare) {
            directive.length = kind.defaultLength;
            directive.conversion = kind.defaultConversion;
        } else {
            directive.length = ph.length;
            directive.conversion =
                allows(kind, ph.conversion) ? ph.conversion : kind.defaultConversion;
        }
        // "%n" would store into memory the argument does not own: it prints nothing.
        if (ph.conversion == 'n' || directive.conversion == 'n') {
            return true;
        }
        return print(kind, arg->value, directive);
    }

    // Prints one placeholder into the room left. Widths and precisions far
    // beyond that room are reduced first, so that the C library neither pads
    // for ages nor overflows its int counts; the reduction keeps the
    // characters that reach the buffer exactly those of the unreduced field.
    bool print(const FormatArgKind& kind, const void* value, FormatDirective directive) {
        const std::size_t room = std::min(capacity_ - pos_, kMaxPiece);
        const auto roomCount = static_cast<std::int64_t>(room);
        // Past the exact digits of a value, a larger precision only adds
        // zeros (or nothing for "%g" without "#"), and the digits in view
        // stay those of the reduced precision.
        std::int64_t extra = 0;
        if (directive.precision > 0 && isNumericConversion(directive.conversion)) {
            const std::int64_t limit = roomCount + kPrecisionSlack;
            if (directive.precision > limit) {
                const bool trimsZeros =
                    (directive.conversion == 'g' || directive.conversion == 'G') &&
                    (directive.flags & kFormatFlagHash) == 0;
                extra = trimsZeros ? 0 : directive.precision - limit;
                directive.precision = static_cast<int>(limit);
            }
        }
        if (extra > 0 ||
            (directive.width > 0 && static_cast<std::size_t>(directive.width) > room)) {
            FormatDirective unpadded = directive;
            unpadded.width = -1;
            const int measured = kind.print(nullptr, 0, unpadded, value);
            if (measured < 0) {
                return false;
            }
            // Padding of `room` characters or more shows the same as any
            // larger padding.
            const std::int64_t full = measured + extra;
            if (directive.width > full) {
                const std::int64_t padding =
                    std::min<std::int64_t>(directive.width - full, roomCount);
                directive.width =
                    static_cast<int>(std::min<std::int64_t>(measured + padding, kMaxField));
            } else {
                directive.width = -1;
            }
        }
        const int length = kind.print(buffer_ + pos_, room + 1, directive, value);
        if (length < 0) {
            return false;
        }
        const auto full = static_cast<std::size_t>(length);
        pos_ += std::min(full, room);
        return full <= room;
    }

    char* buffer_;
    std::size_t capacity_;
    std::size_t pos_ = 0;
    const FormatArg* args_;
    std::size_t count_;
    std::size_t next_ = 1;
};

}  // namespace

std::size_t formatMessage(char* buffer, std::size_t size, const char* format, const FormatArg* args,
                          std::size_t count) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    Formatter formatter(buffer, size - 1, args, count);
    if (format != nullptr) {
        formatter.run(format);
    }
    buffer[formatter.written()] = '\0';
    return formatter.written();
}

}  // namespace tav

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "formats/json.h"
#include "formats/json_string_scan.h"
#include "formats/rapidjson_config.h"
#include "formats/value_tree_sink.h"
#include "text/message.h"

namespace tav {
namespace {

namespace rj = RAPIDJSON_NAMESPACE;

constexpr const char* kErrorFormat = "Error: %s at offset %u.";
constexpr const char* kTooDeep = "Nesting too deep.";

// RapidJSON's English texts, kept here rather than taken from its
// error/en.h: the packaged library words code 2 differently from the text
// our callers and their tests expect. Code 1 (empty document) has no entry
// because blank text reads as an empty value before RapidJSON sees it.
const char* parseErrorText(rj::ParseErrorCode code) {
    switch (code) {
        case rj::kParseErrorNone:
            return "No error.";
        case rj::kParseErrorDocumentRootNotSingular:
            return "The document root must not follow by other values.";
        case rj::kParseErrorValueInvalid:
            return "Invalid value.";
        case rj::kParseErrorObjectMissName:
            return "Missing a name for object member.";
        case rj::kParseErrorObjectMissColon:
            return "Missing a colon after a name of object member.";
        case rj::kParseErrorObjectMissCommaOrCurlyBracket:
            return "Missing a comma or '}' after an object member.";
        case rj::kParseErrorArrayMissCommaOrSquareBracket:
            return "Missing a comma or ']' after an array element.";
        case rj::kParseErrorStringUnicodeEscapeInvalidHex:
            return "Incorrect hex digit after \\u escape in string.";
        case rj::kParseErrorStringUnicodeSurrogateInvalid:
            return "The surrogate pair in string is invalid.";
        case rj::kParseErrorStringEscapeInvalid:
            return "Invalid escape character in string.";
        case rj::kParseErrorStringMissQuotationMark:
            return "Missing a closing quotation mark in string.";
        case rj::kParseErrorStringInvalidEncoding:
            return "Invalid encoding in string.";
        case rj::kParseErrorNumberTooBig:
            return "Number too big to be stored in double.";
        case rj::kParseErrorNumberMissFraction:
            return "Miss fraction part in number.";
        case rj::kParseErrorNumberMissExponent:
            return "Miss exponent in number.";
        case rj::kParseErrorTermination:
            return "Terminate parsing due to Handler error.";
        case rj::kParseErrorUnspecificSyntaxError:
            return "Unspecific syntax error.";
        default:
            return "Unknown error.";
    }
}

// The length of the run at begin, up to end, that a JSON string copies as it
// is: no quote, backslash or control character (the terminating zero
// included), and at most 2^30 bytes, a size the reader's 32-bit counts
// hold. Eight bytes at a time: each test flags the first matching byte
// exactly, and a byte flagged wrongly only ever follows a right one.
[[gnu::always_inline]] inline std::size_t plainRun(const char* begin, const char* end) noexcept {
    constexpr std::ptrdiff_t kLargestRun = std::ptrdiff_t{1} << 30;
    end = end - begin > kLargestRun ? begin + kLargestRun : end;
    const char* at = begin;
    if constexpr (std::endian::native == std::endian::little) {
        for (; end - at >= 8; at += 8) {
            std::uint64_t word;
            std::memcpy(&word, at, sizeof word);
            const std::uint64_t stops = detail::jsonStopBits(word);
            if (stops != 0) {
                return static_cast<std::size_t>(at - begin) + detail::firstFlaggedByte(stops);
            }
        }
    }
    for (; at < end; ++at) {
        const auto c = static_cast<unsigned char>(*at);
        if (c == '"' || c == '\\' || c < 0x20) {
            break;
        }
    }
    return static_cast<std::size_t>(at - begin);
}

// Tells the reader's handler that a string had an escape, the only way a
// zero byte gets into one: strings without need no search for it. The
// streams' copies made by the parser share the flag.
class EscapeWatch {
public:
    void watchEscapes(bool* escaped) noexcept { escaped_ = escaped; }
    // The byte that ended a plain run.
    void runEndedAt(char stop) const noexcept {
        if (stop == '\\' && escaped_ != nullptr) {
            *escaped_ = true;
        }
    }

private:
    bool* escaped_ = nullptr;
};

// RapidJSON's own stream over a zero-terminated text, told where the zero
// is, so that a string's plain run is found and copied in one piece
// (RapidJSON's own scanner copies byte by byte up to an aligned address,
// which is most of a short string).
class TerminatedStream : public rj::StringStream, public EscapeWatch {
public:
    TerminatedStream(const char* text, std::size_t length) noexcept
        : rj::StringStream(text), end_(text + length) {}

    // The plain run of a string at the current position, taken.
    std::string_view takePlainRun() noexcept {
        const char* at = src_;
        src_ += plainRun(at, end_);
        return {at, static_cast<std::size_t>(src_ - at)};
    }

private:
    const char* end_;
};

// Copies the plain run at the stream's position to the reader's output and
// tells the stream's watch what ended it.
template <class Stream, class Output>
void copyPlainRun(Stream& is, Output& os) {
    const std::string_view run = is.takePlainRun();
    if (!run.empty()) {
        std::memcpy(os.Push(static_cast<rj::SizeType>(run.size())), run.data(), run.size());
    }
    is.runEndedAt(is.Peek());
}

// RapidJSON's input stream over a text that ends at its length or at its
// first zero byte, whichever comes first. Past the length Peek yields the
// zero RapidJSON expects at the end, and Take still counts, as it does on a
// zero-terminated text, so that offsets agree between the two forms.
class BoundedStream : public EscapeWatch {
public:
    using Ch = char;

    BoundedStream(const char* text, std::size_t length) noexcept : text_(text), length_(length) {}

    Ch Peek() const noexcept { return position_ < length_ ? text_[position_] : '\0'; }
    Ch Take() noexcept {
        const Ch c = Peek();
        ++position_;
        return c;
    }
    std::size_t Tell() const noexcept { return position_; }

    // The plain run of a string at the current position, taken.
    std::string_view takePlainRun() noexcept {
        if (position_ >= length_) {
            return {};
        }
        const char* at = text_ + position_;
        const std::size_t run = plainRun(at, text_ + length_);
        position_ += run;
        return {at, run};
    }

    // The writing side serves in-place parsing, which is never asked for.
    Ch* PutBegin() {
        RAPIDJSON_ASSERT(false);
        return nullptr;
    }
    void Put(Ch) { RAPIDJSON_ASSERT(false); }
    void Flush() { RAPIDJSON_ASSERT(false); }
    std::size_t PutEnd(Ch*) {
        RAPIDJSON_ASSERT(false);
        return 0;
    }

private:
    const char* text_;
    std::size_t length_;
    std::size_t position_ = 0;
};

}  // namespace
}  // namespace tav

RAPIDJSON_NAMESPACE_BEGIN

template <>
struct StreamTraits<tav::TerminatedStream> {
    enum { copyOptimization = 1 };
};

template <>
inline void SkipWhitespace(tav::TerminatedStream& is) {
    SkipWhitespace(static_cast<StringStream&>(is));
}

// The reader copies a string's plain run through these, then deals with the
// character that ended it.
template <>
template <>
inline void tav::JsonReader::ScanCopyUnescapedString(tav::TerminatedStream& is,
                                                     StackStream<char>& os) {
    tav::copyPlainRun(is, os);
}

template <>
template <>
inline void tav::JsonReader::ScanCopyUnescapedString(tav::BoundedStream& is,
                                                     StackStream<char>& os) {
    tav::copyPlainRun(is, os);
}

RAPIDJSON_NAMESPACE_END

namespace tav {
namespace {

// RapidJSON's handler: each event goes straight to the tree sink. Containers
// are reopened rather than replaced, so a repeated key merges arrays and
// objects into the earlier member; null leaves the slot as it is.
class TreeBuilder {
public:
    explicit TreeBuilder(BindingValue& root) : sink_(root, ElementStaging::On, KeyPrediction::On) {}

    // Why the handler refused an event, if it did.
    enum class Refusal { None, TooDeep, TooBig };
    Refusal refusal() const noexcept { return refusal_; }

    bool Null() {
        sink_.slot();
        return true;
    }
    bool Bool(bool value) {
        sink_.slot().setBool(value);
        return true;
    }
    bool Int(int value) {
        sink_.slot().setInt32(value);
        return true;
    }
    bool Uint(unsigned value) {
        sink_.slot().setUInt32(value);
        return true;
    }
    bool Int64(std::int64_t value) {
        sink_.slot().setInt64(value);
        return true;
    }
    bool Uint64(std::uint64_t value) {
        sink_.slot().setUInt64(value);
        return true;
    }
    // The fast number mode lets a mantissa and an exponent that pass its own
    // range test ("10e308") overflow to infinity, which no JSON text can
    // carry back out; it is refused as the too-big number it is.
    bool Double(double value) {
        if (!std::isfinite(value)) {
            refusal_ = Refusal::TooBig;
            return false;
        }
        sink_.slot().setDouble(value);
        return true;
    }
    // Only with kParseNumbersAsStringsFlag, which is not used.
    bool RawNumber(const char*, rj::SizeType, bool) { return true; }
    // Set by the stream when the string being read has an escape.
    bool* escapeFlag() noexcept { return &escaped_; }

    // Strings and keys end at their first zero byte (an escaped zero), as
    // zero-terminated texts would; the parser's length bounds the search,
    // which only a string with an escape needs. Read a word at a time: most
    // keys and strings are a few words long, too short to pay for a library
    // call.
    std::string_view textOf(const char* text, rj::SizeType length) noexcept {
        if (!escaped_) {
            return {text, length};
        }
        escaped_ = false;
        return upToZero(text, length);
    }
    static std::string_view upToZero(const char* text, rj::SizeType length) {
        std::size_t at = 0;
        for (; at + 8 <= length; at += 8) {
            std::uint64_t word;
            std::memcpy(&word, text + at, sizeof word);
            if (((word - 0x0101010101010101u) & ~word & 0x8080808080808080u) != 0) {
                break;
            }
        }
        while (at < length && text[at] != '\0') {
            ++at;
        }
        return {text, at};
    }
    bool String(const char* text, rj::SizeType length, bool) {
        sink_.slot().setString(textOf(text, length));
        return true;
    }
    bool Key(const char* key, rj::SizeType length, bool) {
        sink_.key(textOf(key, length));
        return true;
    }
    // Refusing the event stops RapidJSON's recursive descent before it can
    // exhaust the stack.
    bool StartObject() { return opened(sink_.openStructure()); }
    bool StartArray() { return opened(sink_.openCollection(ReopenedCollection::Extend)); }
    bool EndObject(rj::SizeType) {
        sink_.close();
        return true;
    }
    bool EndArray(rj::SizeType) {
        sink_.close();
        return true;
    }

private:
    bool opened(const BindingValue* container) {
        if (container == nullptr) {
            refusal_ = Refusal::TooDeep;
            return false;
        }
        return true;
    }

    ValueTreeSink sink_;
    Refusal refusal_ = Refusal::None;
    bool escaped_ = false;
};

}  // namespace
}  // namespace tav

RAPIDJSON_NAMESPACE_BEGIN

// A string without an escape reaches the builder as it is in the text, which
// outlives the reading: no copy onto the reader's stack first (the tree copies
// what it keeps, and a key it predicted it only compares). A string with an
// escape, or one the text ends in, goes RapidJSON's own way from where its
// plain run ends. The reader's stack and scanner are private to it, so the
// body is written once here and placed in each stream's specialization.
#define TAV_PARSE_STRING_IN_PLACE()                                                           \
    do {                                                                                      \
        RAPIDJSON_ASSERT(is.Peek() == '"');                                                   \
        is.Take();                                                                            \
        const std::string_view run = is.takePlainRun();                                       \
        bool success;                                                                         \
        if (RAPIDJSON_LIKELY(is.Peek() == '"')) {                                             \
            is.Take();                                                                        \
            const auto length = static_cast<SizeType>(run.size());                            \
            success = isKey ? handler.Key(run.data(), length, true)                           \
                            : handler.String(run.data(), length, true);                       \
        } else {                                                                              \
            StackStream<char> stackStream(stack_);                                            \
            if (!run.empty()) {                                                               \
                std::memcpy(stackStream.Push(static_cast<SizeType>(run.size())), run.data(),  \
                            run.size());                                                      \
            }                                                                                 \
            is.runEndedAt(is.Peek());                                                         \
            ParseStringToStream<kParseDefaultFlags, UTF8<>, UTF8<>>(is, stackStream);         \
            RAPIDJSON_PARSE_ERROR_EARLY_RETURN_VOID;                                          \
            const auto length = static_cast<SizeType>(stackStream.Length()) - 1;              \
            const char* const text = stackStream.Pop();                                       \
            success =                                                                         \
                isKey ? handler.Key(text, length, true) : handler.String(text, length, true); \
        }                                                                                     \
        if (RAPIDJSON_UNLIKELY(!success)) {                                                   \
            RAPIDJSON_PARSE_ERROR(kParseErrorTermination, is.Tell());                         \
        }                                                                                     \
    } while (false)

template <>
template <>
void tav::JsonReader::ParseString<kParseDefaultFlags>(tav::TerminatedStream& is,
                                                      tav::TreeBuilder& handler, bool isKey) {
    TAV_PARSE_STRING_IN_PLACE();
}

template <>
template <>
void tav::JsonReader::ParseString<kParseDefaultFlags>(tav::BoundedStream& is,
                                                      tav::TreeBuilder& handler, bool isKey) {
    TAV_PARSE_STRING_IN_PLACE();
}

#undef TAV_PARSE_STRING_IN_PLACE

RAPIDJSON_NAMESPACE_END

namespace tav {
namespace {

std::string parseErrorMessage(const rj::ParseResult& parsed, const TreeBuilder& builder) {
    std::size_t offset = parsed.Offset();
    const char* text = parseErrorText(parsed.Code());
    switch (parsed.Code()) {
        case rj::kParseErrorObjectMissColon:
        case rj::kParseErrorObjectMissCommaOrCurlyBracket:
        case rj::kParseErrorArrayMissCommaOrSquareBracket:
            // Our offsets for these count the offending character itself
            // (it used to be consumed before it was checked), so they point
            // just past it; the packaged RapidJSON reports the character's
            // own offset.
            ++offset;
            break;
        case rj::kParseErrorTermination:
            // RapidJSON reports a refused bracket at the offset after it, a
            // refused number at the number's start.
            if (builder.refusal() == TreeBuilder::Refusal::TooDeep) {
                text = kTooDeep;
                --offset;
            } else if (builder.refusal() == TreeBuilder::Refusal::TooBig) {
                text = parseErrorText(rj::kParseErrorNumberTooBig);
            }
            break;
        default:
            break;
    }
    // Offsets are 32-bit in our messages, as they are on the host.
    return makeMessage(kErrorFormat, text, static_cast<std::uint32_t>(offset));
}

}  // namespace

namespace {

// Stream is BoundedStream, or TerminatedStream over a zero-terminated text,
// which spares a bounds test per character.
template <class Stream>
BindingResult parseJson(Stream& stream) {
    BindingResult result;
    // Blank text is an empty value, not RapidJSON's "document is empty".
    rj::SkipWhitespace(stream);
    if (stream.Peek() == '\0') {
        return result;
    }
    std::string error;
    {
        // The builder finishes the tree as it goes out of scope, before a
        // failure replaces it.
        TreeBuilder builder(result.value);
        stream.watchEscapes(builder.escapeFlag());
        // The reader scans strings through ScanCopyUnescapedString, which
        // sees every escape, only when it does not validate the encoding.
        static_assert((rj::kParseDefaultFlags & rj::kParseValidateEncodingFlag) == 0);
        JsonReader reader;
        try {
            const rj::ParseResult parsed = reader.Parse<rj::kParseDefaultFlags>(stream, builder);
            if (parsed.IsError()) {
                error = parseErrorMessage(parsed, builder);
            }
        } catch (const std::length_error& tooLong) {
            // A collection past BindingValue::kMaxElements: input can cause
            // it, so it is reported like a syntax error rather than thrown at
            // the caller.
            error = makeMessage(kErrorFormat, tooLong.what(),
                                static_cast<std::uint32_t>(stream.Tell()));
        }
    }
    if (!error.empty()) {
        result.fail(error);
    }
    return result;
}

}  // namespace

BindingResult readJson(const char* text, std::size_t length) {
    if (text == nullptr) {
        return {};
    }
    BoundedStream stream(text, length);
    return parseJson(stream);
}

BindingResult readJson(std::string_view text) {
    return readJson(text.data(), text.size());
}

BindingResult readJson(const std::string& text) {
    TerminatedStream stream(text.c_str(), text.size());
    return parseJson(stream);
}

BindingResult readJson(const char* text) {
    if (text == nullptr) {
        return {};
    }
    TerminatedStream stream(text, std::strlen(text));
    return parseJson(stream);
}

}  // namespace tav

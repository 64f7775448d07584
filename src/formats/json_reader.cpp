#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "formats/json.h"
#include "formats/rapidjson_config.h"
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

// RapidJSON's input stream over a text that ends at its length or at its
// first zero byte, whichever comes first. Past the length Peek yields the
// zero RapidJSON expects at the end, and Take still counts, as it does on a
// zero-terminated text, so that offsets agree between the two forms.
class BoundedStream {
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

// Builds the tree from the reader's events. Every value event first takes its
// slot: a new element when the innermost open container is a collection,
// otherwise the member a key event selected (or the root). Containers are
// reopened rather than replaced, so a repeated key merges arrays and objects
// into the earlier member; null leaves the slot as it is.
//
// Pointers to open containers stay valid: only the innermost container grows,
// and it is never an element of itself.
class TreeBuilder {
public:
    explicit TreeBuilder(BindingValue& root) : current_(&root) { open_.reserve(16); }

    bool depthExceeded() const noexcept { return depthExceeded_; }

    bool Null() {
        slot();
        return true;
    }
    bool Bool(bool value) {
        slot().setBool(value);
        return true;
    }
    bool Int(int value) {
        slot().setInt32(value);
        return true;
    }
    bool Uint(unsigned value) {
        slot().setUInt32(value);
        return true;
    }
    bool Int64(std::int64_t value) {
        slot().setInt64(value);
        return true;
    }
    bool Uint64(std::uint64_t value) {
        slot().setUInt64(value);
        return true;
    }
    bool Double(double value) {
        slot().setDouble(value);
        return true;
    }
    // Only with kParseNumbersAsStringsFlag, which is not used.
    bool RawNumber(const char*, rj::SizeType, bool) { return true; }
    // Strings and keys end at their first zero byte (an escaped zero), as
    // zero-terminated texts would; the parser's length bounds the search.
    static std::string_view upToZero(const char* text, rj::SizeType length) {
        const void* zero = std::memchr(text, 0, length);
        return {text, zero != nullptr
                          ? static_cast<std::size_t>(static_cast<const char*>(zero) - text)
                          : length};
    }
    bool String(const char* text, rj::SizeType length, bool) {
        slot().setString(upToZero(text, length));
        return true;
    }
    bool Key(const char* key, rj::SizeType length, bool) {
        current_ = &open_.back()->member(upToZero(key, length));
        return true;
    }
    bool StartObject() { return open(true); }
    bool EndObject(rj::SizeType) {
        open_.pop_back();
        return true;
    }
    bool StartArray() { return open(false); }
    bool EndArray(rj::SizeType) {
        open_.pop_back();
        return true;
    }

private:
    BindingValue& slot() {
        if (!open_.empty() && open_.back()->kind() == BindingValueKind::Collection) {
            current_ = &open_.back()->append();
        }
        return *current_;
    }

    // Refusing the event stops RapidJSON's recursive descent before it can
    // exhaust the stack.
    bool open(bool structure) {
        if (open_.size() >= kJsonMaxDepth) {
            depthExceeded_ = true;
            return false;
        }
        BindingValue& container = slot();
        if (structure) {
            container.makeStructure();
        } else {
            container.makeCollection();
        }
        open_.push_back(&container);
        return true;
    }

    BindingValue* current_;
    std::vector<BindingValue*> open_;
    bool depthExceeded_ = false;
};

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
            // The builder refuses only a bracket past the depth bound;
            // RapidJSON reports the offset after that bracket.
            if (builder.depthExceeded()) {
                text = kTooDeep;
                --offset;
            }
            break;
        default:
            break;
    }
    // Offsets are 32-bit in our messages, as they are on the host.
    return makeMessage(kErrorFormat, text, static_cast<std::uint32_t>(offset));
}

}  // namespace

BindingResult readJson(const char* text, std::size_t length) {
    BindingResult result;
    if (text == nullptr) {
        return result;
    }
    BoundedStream stream(text, length);
    // Blank text is an empty value, not RapidJSON's "document is empty".
    rj::SkipWhitespace(stream);
    if (stream.Peek() == '\0') {
        return result;
    }
    TreeBuilder builder(result.value);
    rj::Reader reader;
    try {
        const rj::ParseResult parsed = reader.Parse<rj::kParseDefaultFlags>(stream, builder);
        if (parsed.IsError()) {
            result.fail(parseErrorMessage(parsed, builder));
        }
    } catch (const std::length_error& error) {
        // A collection past BindingValue::kMaxElements: input can cause it,
        // so it is reported like a syntax error rather than thrown at the
        // caller.
        result.fail(
            makeMessage(kErrorFormat, error.what(), static_cast<std::uint32_t>(stream.Tell())));
    }
    return result;
}

BindingResult readJson(std::string_view text) {
    return readJson(text.data(), text.size());
}

BindingResult readJson(const std::string& text) {
    return readJson(text.data(), text.size());
}

BindingResult readJson(const char* text) {
    return readJson(text, text != nullptr ? std::strlen(text) : 0);
}

}  // namespace tav

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "binding/type_registry.h"
#include "formats/json.h"
#include "formats/json_string_scan.h"
#include "formats/rapidjson_config.h"
#include "text/base64.h"
#include "text/string_utils.h"

namespace tav {
namespace {

namespace rj = RAPIDJSON_NAMESPACE;

constexpr std::size_t kInitialCapacity = 256;

// What follows the backslash for a byte that is escaped, 'u' for "\u00XX",
// zero for a byte copied as it is: RapidJSON's writer table.
constexpr char escapeOf(unsigned char c) {
    switch (c) {
        case '\b':
            return 'b';
        case '\t':
            return 't';
        case '\n':
            return 'n';
        case '\f':
            return 'f';
        case '\r':
            return 'r';
        case '"':
            return '"';
        case '\\':
            return '\\';
        default:
            return c < 0x20 ? 'u' : 0;
    }
}

// The count (< 8) bytes at from as the low bytes of a little-endian word, read
// in two overlapping pieces so that no byte past them is touched. The zero
// bytes above them stop a scan at count.
inline std::uint64_t tailWord(const char* from, std::size_t count) noexcept {
    std::uint64_t word = 0;
    if (count >= 4) {
        std::uint32_t low;
        std::uint32_t high;
        std::memcpy(&low, from, sizeof low);
        std::memcpy(&high, from + count - 4, sizeof high);
        word = low | (std::uint64_t{high} << (8 * (count - 4)));
    } else if (count >= 2) {
        std::uint16_t low;
        std::uint16_t high;
        std::memcpy(&low, from, sizeof low);
        std::memcpy(&high, from + count - 2, sizeof high);
        word = low | (std::uint64_t{high} << (8 * (count - 2)));
    } else if (count == 1) {
        word = static_cast<unsigned char>(*from);
    }
    return word;
}

// The compact form, written straight into the string writeJson returns. Its
// text equals RapidJSON's Writer's byte for byte (numbers come from the same
// routines); writing it ourselves saves the Writer's per-byte escape loop and
// the copy out of its buffer. Trees are bounded in depth, so the recursion is
// too.
class CompactJsonWriter {
public:
    explicit CompactJsonWriter(const BindingTypeRegistry* registry) : registry_(registry) {
        text_.resize(kInitialCapacity);
        at_ = text_.data();
        end_ = at_ + text_.size();
    }

    std::string take() && {
        text_.resize(static_cast<std::size_t>(at_ - text_.data()));
        return std::move(text_);
    }

    void write(const BindingValue& value) {
        switch (value.kind()) {
            case BindingValueKind::Empty:
                putLiteral("null");
                break;
            case BindingValueKind::Bool:
                if (value.asBool()) {
                    putLiteral("true");
                } else {
                    putLiteral("false");
                }
                break;
            case BindingValueKind::Signed:
                reserve(kNumberRoom);
                at_ = rj::internal::i64toa(value.asInt64(), at_);
                break;
            case BindingValueKind::Unsigned:
                reserve(kNumberRoom);
                at_ = rj::internal::u64toa(value.asUInt64(), at_);
                break;
            case BindingValueKind::Float:
                // JSON has no NaN or infinities; null keeps the text valid.
                if (std::isfinite(value.asDouble())) {
                    reserve(kNumberRoom);
                    // 324 decimal places: the Writer's default, i.e. no limit.
                    at_ = rj::internal::dtoa(value.asDouble(), at_, 324);
                } else {
                    putLiteral("null");
                }
                break;
            case BindingValueKind::String:
                writeString(value.asString());
                break;
            case BindingValueKind::Blob:
                writeString(base64Encode(value.asBlob()));
                break;
            case BindingValueKind::Enum:
                writeEnum(value.asEnum());
                break;
            case BindingValueKind::Collection: {
                put('[');
                bool first = true;
                for (const BindingValue& element : value.elements()) {
                    if (!first) {
                        put(',');
                    }
                    first = false;
                    write(element);
                }
                put(']');
                break;
            }
            case BindingValueKind::Structure: {
                put('{');
                bool first = true;
                for (const BindingMember& member : value.members()) {
                    if (!first) {
                        put(',');
                    }
                    first = false;
                    writeString(member.key());
                    put(':');
                    write(member.value());
                }
                put('}');
                break;
            }
        }
    }

private:
    // The longest number the RapidJSON routines print is 24 bytes.
    static constexpr std::size_t kNumberRoom = 25;

    void writeEnum(const BindingEnumValue& value) {
        if (registry_ != nullptr && value.type != nullptr) {
            if (const auto name = registry_->enumName(*value.type, value.number)) {
                writeString(*name);
                return;
            }
        }
        reserve(kNumberRoom);
        at_ = rj::internal::i32toa(value.number, at_);
    }

    void writeString(std::string_view text) {
        static constexpr char kHexDigits[] = "0123456789ABCDEF";
        // Bytes taken at a time: small enough that no size below wraps.
        constexpr std::size_t kChunk = std::size_t{1} << 30;
        put('"');
        const char* from = text.data();
        const char* const end = from + text.size();
        for (;;) {
            const auto rest = std::min(static_cast<std::size_t>(end - from), kChunk);
            // The bytes, then the 8 that a word store may write past them,
            // which also hold an escape (at most 6) or the closing quote.
            reserve(rest + 8);
            const std::size_t run = copyPlainRun(from, rest);
            from += run;
            if (run == rest) {
                if (from == end) {
                    break;
                }
                continue;
            }
            const auto byte = static_cast<unsigned char>(*from++);
            const char escape = escapeOf(byte);
            at_[0] = '\\';
            at_[1] = escape;
            if (escape == 'u') {
                at_[2] = '0';
                at_[3] = '0';
                at_[4] = kHexDigits[byte >> 4];
                at_[5] = kHexDigits[byte & 15];
                at_ += 6;
            } else {
                at_ += 2;
            }
        }
        *at_++ = '"';
    }

    // Copies the bytes at from up to the first that needs an escape, at most
    // count of them, and returns how many it copied. Needs room for count + 8
    // bytes: the scan stores whole words, some past the run's end.
    std::size_t copyPlainRun(const char* from, std::size_t count) noexcept {
        // A local write position: stores through char pointers could change
        // at_, which would then be reloaded after each.
        char* const out = at_;
        std::size_t done = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::uint64_t bits = 0;
            std::uint64_t word;
            for (; count - done >= 8; done += 8) {
                std::memcpy(&word, from + done, sizeof word);
                std::memcpy(out + done, &word, sizeof word);
                bits = detail::jsonStopBits(word);
                if (bits != 0) {
                    break;
                }
            }
            if (bits == 0) {
                word = tailWord(from + done, count - done);
                std::memcpy(out + done, &word, sizeof word);
                bits = detail::jsonStopBits(word);
            }
            // Never zero here: a tail word stops at count at the latest.
            done += detail::firstFlaggedByte(bits);
        } else {
            for (; done < count && escapeOf(static_cast<unsigned char>(from[done])) == 0; ++done) {
                out[done] = from[done];
            }
        }
        at_ = out + done;
        return done;
    }

    template <std::size_t N>
    void putLiteral(const char (&literal)[N]) {
        reserve(N - 1);
        std::memcpy(at_, literal, N - 1);
        at_ += N - 1;
    }

    void put(char c) {
        reserve(1);
        *at_++ = c;
    }

    // Room for count more bytes at at_.
    void reserve(std::size_t count) {
        if (static_cast<std::size_t>(end_ - at_) < count) {
            grow(count);
        }
    }

    [[gnu::noinline]] void grow(std::size_t count) {
        const std::size_t used = static_cast<std::size_t>(at_ - text_.data());
        const std::size_t limit = text_.max_size();
        if (count > limit - used) {
            throw std::length_error("JSON string too long");
        }
        const std::size_t doubled = text_.size() <= limit / 2 ? text_.size() * 2 : limit;
        text_.resize(std::max(doubled, used + count));
        at_ = text_.data() + used;
        end_ = text_.data() + text_.size();
    }

    const BindingTypeRegistry* registry_;
    std::string text_;
    char* at_ = nullptr;   // the write position
    char* end_ = nullptr;  // the end of text_
};

// Drives RapidJSON's PrettyWriter through a value's tree.
template <class Writer>
class JsonTreeWriter {
public:
    JsonTreeWriter(Writer& writer, const BindingTypeRegistry* registry)
        : writer_(writer), registry_(registry) {}

    void write(const BindingValue& value) {
        switch (value.kind()) {
            case BindingValueKind::Empty:
                writer_.Null();
                break;
            case BindingValueKind::Bool:
                writer_.Bool(value.asBool());
                break;
            case BindingValueKind::Signed:
                writer_.Int64(value.asInt64());
                break;
            case BindingValueKind::Unsigned:
                writer_.Uint64(value.asUInt64());
                break;
            case BindingValueKind::Float:
                // RapidJSON refuses NaN and infinities only after writing the
                // separator, which would leave "[1,]"; null keeps the text
                // valid JSON.
                if (std::isfinite(value.asDouble())) {
                    writer_.Double(value.asDouble());
                } else {
                    writer_.Null();
                }
                break;
            case BindingValueKind::String:
                writeString(value.asString(), false);
                break;
            case BindingValueKind::Blob:
                writeString(base64Encode(value.asBlob()), false);
                break;
            case BindingValueKind::Enum:
                writeEnum(value.asEnum());
                break;
            case BindingValueKind::Collection:
                writer_.StartArray();
                for (const BindingValue& element : value.elements()) {
                    write(element);
                }
                writer_.EndArray();
                break;
            case BindingValueKind::Structure:
                writer_.StartObject();
                for (const BindingMember& member : value.members()) {
                    writeString(member.key(), true);
                    write(member.value());
                }
                writer_.EndObject();
                break;
        }
    }

private:
    void writeEnum(const BindingEnumValue& value) {
        if (registry_ != nullptr && value.type != nullptr) {
            if (const auto name = registry_->enumName(*value.type, value.number)) {
                writeString(*name, false);
                return;
            }
        }
        writer_.Int(value.number);
    }

    void writeString(std::string_view text, bool isKey) {
        if (text.size() <= detail::kJsonLongString) {
            const auto length = static_cast<rj::SizeType>(text.size());
            if (isKey) {
                writer_.Key(text.data(), length);
            } else {
                writer_.String(text.data(), length);
            }
            return;
        }
        // A raw string value takes the separators of a key or a value alike.
        const std::string quoted = detail::quoteJsonString(text);
        writer_.RawValue(quoted.data(), quoted.size(), rj::kStringType);
    }

    Writer& writer_;
    const BindingTypeRegistry* registry_;
};

}  // namespace

std::string detail::quoteJsonString(std::string_view text) {
    // Measure, then write, with every step of the size checked so that
    // nothing wraps on 32-bit targets: 1 extra byte per named escape, 5 per
    // "\u00XX", 2 for the quotation marks.
    std::size_t named = 0;
    std::size_t numeric = 0;
    for (const char c : text) {
        const char escape = escapeOf(static_cast<unsigned char>(c));
        named += escape != 0 && escape != 'u' ? 1 : 0;
        numeric += escape == 'u' ? 1 : 0;
    }
    std::string quoted;
    const std::size_t limit = quoted.max_size();
    if (text.size() > limit - 2 || named > limit - 2 - text.size() ||
        numeric > (limit - 2 - text.size() - named) / 5) {
        throw std::length_error("JSON string too long");
    }
    quoted.reserve(text.size() + 2 + named + 5 * numeric);
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    quoted += '"';
    std::size_t copied = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const char escape = escapeOf(byte);
        if (escape == 0) {
            continue;
        }
        quoted.append(text, copied, i - copied);
        copied = i + 1;
        if (escape == 'u') {
            const char sequence[] = {
                '\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
            quoted.append(sequence, sizeof sequence);
        } else {
            quoted += '\\';
            quoted += escape;
        }
    }
    quoted.append(text, copied);
    quoted += '"';
    return quoted;
}

std::string writeJson(const BindingValue& value, const BindingTypeRegistry* registry,
                      const char* newline) {
    if (value.kind() == BindingValueKind::Empty) {
        return {};
    }
    if (newline == nullptr || newline[0] == '\0') {
        CompactJsonWriter writer(registry);
        writer.write(value);
        return std::move(writer).take();
    }
    // PrettyWriter indents by 4 spaces by default and breaks lines with "\n";
    // escaped strings never hold a raw line feed, so every "\n" is a break.
    JsonStringBuffer buffer(nullptr, kInitialCapacity);
    JsonPrettyWriter<JsonStringBuffer> writer(buffer);
    JsonTreeWriter<JsonPrettyWriter<JsonStringBuffer>>(writer, registry).write(value);
    std::string_view text(buffer.GetString(), buffer.GetSize());
    if (std::strcmp(newline, "\n") == 0) {
        return std::string(text);
    }
    return replaceAll(text, "\n", newline);
}

}  // namespace tav

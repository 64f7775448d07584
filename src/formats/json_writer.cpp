#include <cmath>
#include <cstring>
#include <stdexcept>

#include "binding/type_registry.h"
#include "formats/json.h"
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

// Drives a RapidJSON writer (compact or pretty) through a value's tree. The
// walk is its own rather than the generic visitor's: a call per value that
// the compiler can inline outweighs the rest of writing a number or a key.
// Trees are bounded in depth, so the recursion is too.
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

template <class Writer>
void writeValue(rj::StringBuffer& buffer, const BindingValue& value,
                const BindingTypeRegistry* registry) {
    Writer writer(buffer);
    JsonTreeWriter<Writer>(writer, registry).write(value);
}

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
    rj::StringBuffer buffer(nullptr, kInitialCapacity);
    const bool pretty = newline != nullptr && newline[0] != '\0';
    if (!pretty) {
        writeValue<rj::Writer<rj::StringBuffer>>(buffer, value, registry);
        return std::string(buffer.GetString(), buffer.GetSize());
    }
    // PrettyWriter indents by 4 spaces by default and breaks lines with "\n";
    // escaped strings never hold a raw line feed, so every "\n" is a break.
    writeValue<rj::PrettyWriter<rj::StringBuffer>>(buffer, value, registry);
    std::string_view text(buffer.GetString(), buffer.GetSize());
    if (std::strcmp(newline, "\n") == 0) {
        return std::string(text);
    }
    return replaceAll(text, "\n", newline);
}

}  // namespace tav

#include "binding/native_conversion.h"

#include <cerrno>
#include <cstdlib>

#include "text/base64.h"
#include "text/message.h"

namespace tav::detail {
namespace {

using Kind = BindingValueKind;

// 2^63: the first double above every int64. The inclusive range test would
// admit it although it does not fit, so the int64 maximum is exclusive here.
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

template <class... Args>
bool fail(BindingResult& result, const char* message, const Args&... args) {
    result.fail(makeMessage(message, args...));
    return false;
}

bool failInvalidType(BindingResult& result, const BindingValue& value, std::string_view name,
                     const char* typeName) {
    return fail(result, messages::kNumberInvalidType, name, typeName, value.kindName());
}

// NaN fails every comparison and so is out of range.
bool signedRangeHolds(double x, std::int64_t minimum, std::int64_t maximum) {
    const bool belowMaximum =
        maximum == INT64_MAX ? x < kTwoTo63 : x <= static_cast<double>(maximum);
    return x >= static_cast<double>(minimum) && belowMaximum;
}

bool unsignedRangeHolds(double x, std::uint64_t maximum) {
    const bool belowMaximum =
        maximum == UINT64_MAX ? x < kTwoTo64 : x <= static_cast<double>(maximum);
    return x >= 0.0 && belowMaximum;
}

enum class Parse { Ok, Format, Range };

// The whole text must be the number (strtoll/strtoull in base 0: "0x" is
// hexadecimal, a leading 0 octal, leading blanks and a sign allowed); bytes
// after an embedded zero count as left over.
Parse parseSigned(const BindingValue& text, std::int64_t& out) {
    const char* begin = text.asCString();
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(begin, &end, 0);
    if (end != begin + text.size()) {
        return Parse::Format;
    }
    if (errno == ERANGE) {
        return Parse::Range;
    }
    out = number;
    return Parse::Ok;
}

Parse parseUnsigned(const BindingValue& text, std::uint64_t& out) {
    const char* begin = text.asCString();
    char* end = nullptr;
    errno = 0;
    const unsigned long long number = std::strtoull(begin, &end, 0);
    if (end != begin + text.size()) {
        return Parse::Format;
    }
    // strtoull negates a "-" number into a huge one; a minus sign, after any
    // leading blanks, is out of range rather than a wrapped value.
    const char* first = begin;
    while (*first == ' ' || (*first >= '\t' && *first <= '\r')) {
        ++first;
    }
    if (errno == ERANGE || *first == '-') {
        return Parse::Range;
    }
    out = number;
    return Parse::Ok;
}

Parse parseDouble(const BindingValue& text, double maximum, double& out) {
    const char* begin = text.asCString();
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(begin, &end);
    if (end != begin + text.size()) {
        return Parse::Format;
    }
    if (errno == ERANGE || !(number >= -maximum && number <= maximum)) {
        return Parse::Range;
    }
    out = number;
    return Parse::Ok;
}

bool isBase64Character(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=';
}

// An enumerator numbered n; numbers outside the 32-bit range match none.
bool enumHas(const BindingTypeDescriptor& descriptor, std::int64_t n) {
    return n >= INT32_MIN && n <= INT32_MAX && BindingTypeRegistry::enumContains(descriptor, n);
}

}  // namespace

bool valueToBool(BindingResult& result, const BindingValue& value, std::string_view name,
                 bool& out) {
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::Bool:
            out = value.asBool();
            return true;
        case Kind::String: {
            const std::string_view text = value.asString();
            if (text == "1" || text == "true") {
                out = true;
                return true;
            }
            if (text == "0" || text == "false") {
                out = false;
                return true;
            }
            return fail(result, messages::kBoolIncorrectFormat, text, name);
        }
        default:
            return fail(result, messages::kBoolInvalidType, name, value.kindName());
    }
}

bool valueToSigned(BindingResult& result, const BindingValue& value, std::string_view name,
                   std::int64_t minimum, std::int64_t maximum, const char* typeName,
                   std::int64_t& out) {
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::Signed: {
            const std::int64_t n = value.asInt64();
            if (n < minimum || n > maximum) {
                return fail(result, messages::kNumberOutOfRange, n, name, typeName);
            }
            out = n;
            return true;
        }
        case Kind::Unsigned: {
            const std::uint64_t n = value.asUInt64();
            if (n > static_cast<std::uint64_t>(maximum)) {
                return fail(result, messages::kNumberOutOfRange, n, name, typeName);
            }
            out = static_cast<std::int64_t>(n);
            return true;
        }
        case Kind::Float: {
            const double x = value.asDouble();
            if (!signedRangeHolds(x, minimum, maximum)) {
                return fail(result, messages::kNumberOutOfRange, x, name, typeName);
            }
            out = static_cast<std::int64_t>(x);  // truncated toward zero
            return true;
        }
        case Kind::String: {
            std::int64_t n = 0;
            const Parse parse = parseSigned(value, n);
            if (parse == Parse::Format) {
                return fail(result, messages::kNumberIncorrectFormat, value.asString(), name,
                            typeName);
            }
            if (parse == Parse::Range || n < minimum || n > maximum) {
                return fail(result, messages::kNumberOutOfRange, value.asString(), name, typeName);
            }
            out = n;
            return true;
        }
        case Kind::Enum: {
            const std::int32_t n = value.asEnum().number;
            if (n < minimum || n > maximum) {
                return fail(result, messages::kNumberOutOfRange, n, name, typeName);
            }
            out = n;
            return true;
        }
        default:
            return failInvalidType(result, value, name, typeName);
    }
}

bool valueToUnsigned(BindingResult& result, const BindingValue& value, std::string_view name,
                     std::uint64_t maximum, const char* typeName, std::uint64_t& out) {
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::Signed: {
            const std::int64_t n = value.asInt64();
            if (n < 0 || static_cast<std::uint64_t>(n) > maximum) {
                return fail(result, messages::kNumberOutOfRange, n, name, typeName);
            }
            out = static_cast<std::uint64_t>(n);
            return true;
        }
        case Kind::Unsigned: {
            const std::uint64_t n = value.asUInt64();
            if (n > maximum) {
                return fail(result, messages::kNumberOutOfRange, n, name, typeName);
            }
            out = n;
            return true;
        }
        case Kind::Float: {
            const double x = value.asDouble();
            if (!unsignedRangeHolds(x, maximum)) {
                return fail(result, messages::kNumberOutOfRange, x, name, typeName);
            }
            out = static_cast<std::uint64_t>(x);
            return true;
        }
        case Kind::String: {
            std::uint64_t n = 0;
            const Parse parse = parseUnsigned(value, n);
            if (parse == Parse::Format) {
                return fail(result, messages::kNumberIncorrectFormat, value.asString(), name,
                            typeName);
            }
            if (parse == Parse::Range || n > maximum) {
                return fail(result, messages::kNumberOutOfRange, value.asString(), name, typeName);
            }
            out = n;
            return true;
        }
        case Kind::Enum: {
            const std::int32_t n = value.asEnum().number;
            if (n < 0 || static_cast<std::uint64_t>(n) > maximum) {
                return fail(result, messages::kNumberOutOfRange, n, name, typeName);
            }
            out = static_cast<std::uint64_t>(n);
            return true;
        }
        default:
            return failInvalidType(result, value, name, typeName);
    }
}

bool valueToFloating(BindingResult& result, const BindingValue& value, std::string_view name,
                     double maximum, const char* typeName, double& out) {
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::Signed:
            out = static_cast<double>(value.asInt64());
            return true;
        case Kind::Unsigned:
            out = static_cast<double>(value.asUInt64());
            return true;
        case Kind::Float: {
            const double x = value.asDouble();
            if (!(x >= -maximum && x <= maximum)) {  // NaN and infinities are out of range
                return fail(result, messages::kNumberOutOfRange, x, name, typeName);
            }
            out = x;
            return true;
        }
        case Kind::String: {
            const Parse parse = parseDouble(value, maximum, out);
            if (parse == Parse::Format) {
                return fail(result, messages::kNumberIncorrectFormat, value.asString(), name,
                            typeName);
            }
            if (parse == Parse::Range) {
                return fail(result, messages::kNumberOutOfRange, value.asString(), name, typeName);
            }
            return true;
        }
        case Kind::Enum:
            out = value.asEnum().number;
            return true;
        default:
            return failInvalidType(result, value, name, typeName);
    }
}

bool valueToString(BindingResult& result, const BindingValue& value, std::string_view name,
                   const BindingTypeRegistry& registry, std::string& out) {
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::String:
            out.assign(value.asString());
            return true;
        case Kind::Enum: {
            const BindingEnumValue e = value.asEnum();
            const auto enumeratorName =
                e.type != nullptr ? registry.enumName(*e.type, e.number) : std::nullopt;
            if (!enumeratorName) {
                return fail(result, messages::kEnumWithoutName, e.number, name);
            }
            out.assign(*enumeratorName);
            return true;
        }
        default:
            return fail(result, messages::kNotAString, name);
    }
}

bool valueToBlob(BindingResult& result, const BindingValue& value, std::string_view name,
                 std::vector<std::uint8_t>& out) {
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::String: {
            const std::string_view text = value.asString();
            for (const char c : text) {
                if (!isBase64Character(static_cast<unsigned char>(c))) {
                    return fail(result, messages::kBlobInvalidBase64, name);
                }
            }
            out = base64Decode(text);
            return true;
        }
        case Kind::Blob: {
            const auto bytes = value.asBlob();
            out.assign(bytes.begin(), bytes.end());
            return true;
        }
        default:
            return fail(result, messages::kNotABlob, name);
    }
}

bool valueToEnumNumber(BindingResult& result, const BindingValue& value, std::string_view name,
                       const BindingTypeDescriptor* descriptor, const StaticTypeInfo& type,
                       std::int32_t& out) {
    const char* typeName = descriptor != nullptr ? descriptor->name.c_str() : type.name;
    const auto accept = [&](std::int64_t n) {
        if (descriptor == nullptr || !enumHas(*descriptor, n)) {
            return false;
        }
        out = static_cast<std::int32_t>(n);
        return true;
    };
    switch (value.kind()) {
        case Kind::Empty:
            return fail(result, messages::kValueRequired, name);
        case Kind::Signed:
            return accept(value.asInt64()) ||
                   fail(result, messages::kEnumInvalidValue, value.asInt64(), typeName, name);
        case Kind::Unsigned: {
            const std::uint64_t n = value.asUInt64();
            return (n <= INT32_MAX && accept(static_cast<std::int64_t>(n))) ||
                   fail(result, messages::kEnumInvalidValue, n, typeName, name);
        }
        case Kind::String: {
            if (descriptor != nullptr) {
                if (const BindingEnumerator* e =
                        BindingTypeRegistry::enumByName(*descriptor, value.asString())) {
                    out = static_cast<std::int32_t>(e->number);
                    return true;
                }
            }
            std::int64_t n = 0;
            return (parseSigned(value, n) == Parse::Ok && accept(n)) ||
                   fail(result, messages::kEnumInvalidValue, value.asString(), typeName, name);
        }
        case Kind::Enum: {
            const std::int32_t n = value.asEnum().number;
            return accept(n) || fail(result, messages::kEnumInvalidValue, n, typeName, name);
        }
        default:
            return fail(result, messages::kEnumInvalidType, name, value.kindName());
    }
}

bool expectCollection(BindingResult& result, const BindingValue& value, std::string_view name,
                      bool emptyIsMissing) {
    if (value.kind() == Kind::Collection) {
        return true;
    }
    if (emptyIsMissing && value.kind() == Kind::Empty) {
        return fail(result, messages::kValueRequired, name);
    }
    return fail(result, messages::kVectorNotACollection, name);
}

bool expectMapStructure(BindingResult& result, const BindingValue& value, std::string_view name) {
    return value.kind() == Kind::Structure || fail(result, messages::kMapNotAStructure, name);
}

void recordToNative(BindingResult& result, void* record, const BindingValue& value,
                    std::string_view name, const BindingTypeDescriptor* descriptor,
                    const BindingTypeRegistry& registry) {
    if (!result.ok) {
        return;
    }
    if (descriptor == nullptr) {
        fail(result, messages::kUnregisteredStructure, name);
        return;
    }
    if (value.kind() != Kind::Structure) {
        fail(result, messages::kNotAStructure, name, descriptor->name);
        return;
    }
    auto* base = static_cast<unsigned char*>(record);
    for (const BindingField& field : descriptor->fields) {
        const BindingValue* member = value.tryFind(field.name);
        if (member != nullptr && member->kind() != Kind::Empty) {
            if (field.accessor != nullptr) {
                field.accessor->toNative(result, base + field.offset, *member, field.name, field,
                                         registry);
            }
        } else if ((field.flags & kFieldRequired) != 0) {
            fail(result, messages::kRequiredFieldMissing, name, descriptor->name, field.name);
        }
        if (!result.ok) {
            return;
        }
    }
}

void recordToValue(BindingResult& result, const void* record,
                   const BindingTypeDescriptor* descriptor, BindingValue& out,
                   const BindingTypeRegistry& registry) {
    if (!result.ok) {
        return;
    }
    if (descriptor == nullptr) {
        fail(result, messages::kUnregisteredNative);
        return;
    }
    out.makeStructure();
    const auto* base = static_cast<const unsigned char*>(record);
    for (const BindingField& field : descriptor->fields) {
        if (field.accessor == nullptr) {
            continue;
        }
        const void* member = base + field.offset;
        if ((field.flags & kFieldOmitDefault) != 0) {
            BindingValue produced;
            field.accessor->toValue(result, member, produced, field, registry);
            if (result.ok && !isDefaultValue(produced)) {
                out.member(field.name) = produced;
            }
        } else {
            // Written in place: no temporary tree, keys interned once per tree.
            field.accessor->toValue(result, member, out.member(field.name), field, registry);
        }
        if (!result.ok) {
            return;  // the failure reset the tree that held out
        }
    }
}

bool isDefaultValue(const BindingValue& value) noexcept {
    switch (value.kind()) {
        case Kind::Empty:
            return true;
        case Kind::Bool:
            return !value.asBool();
        case Kind::Signed:
            return value.asInt64() == 0;
        case Kind::Unsigned:
            return value.asUInt64() == 0;
        case Kind::Float:
            return value.asDouble() == 0.0;
        case Kind::Enum:
            return value.asEnum().number == 0;
        default:
            return value.size() == 0;
    }
}

}  // namespace tav::detail

#include "hosting/module_types.h"

#include <algorithm>
#include <cfloat>
#include <limits>

#include "binding/native_conversion.h"
#include "binding/type_kind.h"
#include "formats/json.h"
#include "hosting/api_routing.h"

namespace tav::devhost {
namespace {

using Kind = BindingTypeKind;

constexpr std::string_view kFacadeBase = "/tav-champ-select/";

// The range of each integer kind, as the module's converters keep it.
struct IntegerRange {
    Kind kind;
    std::int64_t minimum;
    std::uint64_t maximum;
};

constexpr IntegerRange kIntegers[] = {
    {Kind::Int8, INT8_MIN, INT8_MAX},    {Kind::UInt8, 0, UINT8_MAX},
    {Kind::Int16, INT16_MIN, INT16_MAX}, {Kind::UInt16, 0, UINT16_MAX},
    {Kind::Int32, INT32_MIN, INT32_MAX}, {Kind::UInt32, 0, UINT32_MAX},
    {Kind::Int64, INT64_MIN, INT64_MAX}, {Kind::UInt64, 0, UINT64_MAX},
};

// A kind word with what qualifies it, as field and return records give it.
struct TypeRef {
    std::uint32_t kind = 0;
    std::uint32_t elementKind = 0;
    std::string_view typeName;
};

// "the text \"soon\"", "300", "a list": what a value is, for messages.
std::string described(const BindingValue& value) {
    switch (value.kind()) {
        case BindingValueKind::Empty:
            return "null";
        case BindingValueKind::String:
            return "the text " + writeJson(value);
        case BindingValueKind::Collection:
            return "a list";
        case BindingValueKind::Structure:
            return "a mapping";
        case BindingValueKind::Blob:
            return "bytes";
        default:
            return writeJson(value);
    }
}

class Checker {
public:
    Checker(const std::map<std::string_view, const TavTypeRecord*>& types,
            std::vector<TypeMismatch>* unknownKeys)
        : types_(types), unknownKeys_(unknownKeys) {}

    std::optional<TypeMismatch> run(const BindingValue& value, const TypeRef& type) {
        check(value, type);
        return std::move(failure_);
    }

private:
    // True when value is one the module converts to type; else records why.
    bool check(const BindingValue& value, const TypeRef& type) {
        const auto kind = static_cast<Kind>(type.kind);
        switch (kind) {
            case Kind::Struct:
                return checkRecord(value, type.typeName);
            case Kind::Vector:
                return checkList(value, type);
            case Kind::Map:
                return checkMap(value, type);
            case Kind::Enum:
                return checkEnum(value, type.typeName);
            default:
                return checkScalar(value, kind) || fail(value, expected(type));
        }
    }

    // Members the type does not name are ignored by the module, and so are
    // empty ones; a type the description does not name is only a mapping.
    // The ignored names are noted: a typo leaves the real member at its
    // default without a word.
    bool checkRecord(const BindingValue& value, std::string_view typeName) {
        const TavTypeRecord* type = find(typeName);
        if (value.kind() != BindingValueKind::Structure) {
            return fail(value, expected({static_cast<std::uint32_t>(Kind::Struct), 0, typeName}));
        }
        if (type != nullptr && type->fields != nullptr && unknownKeys_ != nullptr) {
            noteUnknownKeys(value, *type);
        }
        for (std::uint32_t i = 0; type != nullptr && type->fields != nullptr && i < type->count;
             ++i) {
            const TavFieldRecord& field = type->fields[i];
            const BindingValue* member = value.tryFind(field.name);
            if (member == nullptr || member->kind() == BindingValueKind::Empty) {
                continue;
            }
            at_.emplace_back(std::string(field.name));
            if (!check(*member, {field.kind, field.elementKind, field.typeName})) {
                return false;
            }
            at_.pop_back();
        }
        return true;
    }

    // A list of lists describes no inner element: its elements are lists.
    bool checkList(const BindingValue& value, const TypeRef& type) {
        if (value.kind() != BindingValueKind::Collection) {
            return fail(value, expected(type));
        }
        const TypeRef element{type.elementKind, 0, type.typeName};
        for (std::size_t i = 0; i < value.size(); ++i) {
            const BindingValue& e = value.elementAt(i);
            if (e.kind() == BindingValueKind::Empty) {
                continue;
            }
            at_.emplace_back(i);
            if (!check(e, element)) {
                return false;
            }
            at_.pop_back();
        }
        return true;
    }

    bool checkMap(const BindingValue& value, const TypeRef& type) {
        if (value.kind() != BindingValueKind::Structure) {
            return fail(value, expected(type));
        }
        const TypeRef element{type.elementKind, 0, type.typeName};
        for (const BindingMember& member : value.members()) {
            if (member.value().kind() == BindingValueKind::Empty) {
                continue;
            }
            at_.emplace_back(std::string(member.key()));
            if (!check(member.value(), element)) {
                return false;
            }
            at_.pop_back();
        }
        return true;
    }

    // By name, or by a number (or a text of one) that names an enumerator.
    bool checkEnum(const BindingValue& value, std::string_view typeName) {
        const TavTypeRecord* type = find(typeName);
        const TypeRef ref{static_cast<std::uint32_t>(Kind::Enum), 0, typeName};
        if (type == nullptr) {
            return true;  // undescribed: nothing to check against
        }
        const std::span<const TavEnumeratorRecord> enumerators(
            type->enumerators, type->enumerators != nullptr ? type->count : 0);
        if (value.kind() == BindingValueKind::String &&
            std::ranges::any_of(enumerators, [&](const TavEnumeratorRecord& e) {
                return std::string_view(e.name) == value.asString();
            })) {
            return true;
        }
        const BindingValueKind k = value.kind();
        if (k != BindingValueKind::String && k != BindingValueKind::Signed &&
            k != BindingValueKind::Unsigned) {
            return fail(value, expected(ref));
        }
        BindingResult result;
        std::int64_t n = 0;
        const bool number = detail::valueToSigned(result, value, "", INT32_MIN, INT32_MAX, "", n);
        return (number && std::ranges::any_of(enumerators,
                                              [&](const TavEnumeratorRecord& e) {
                                                  return std::int64_t{e.number} == n;
                                              })) ||
               fail(value, expected(ref));
    }

    // The module's own scalar rules: a number may come as text, a bool as
    // "true" or "1", a blob as base64.
    static bool checkScalar(const BindingValue& value, Kind kind) {
        BindingResult result;
        for (const IntegerRange& range : kIntegers) {
            if (range.kind != kind) {
                continue;
            }
            if (range.minimum < 0) {
                std::int64_t n = 0;
                return detail::valueToSigned(result, value, "", range.minimum,
                                             static_cast<std::int64_t>(range.maximum), "", n);
            }
            std::uint64_t n = 0;
            return detail::valueToUnsigned(result, value, "", range.maximum, "", n);
        }
        double x = 0;
        std::vector<std::uint8_t> bytes;
        bool b = false;
        switch (kind) {
            case Kind::Bool:
                return detail::valueToBool(result, value, "", b);
            case Kind::Float:
                return detail::valueToFloating(result, value, "", FLT_MAX, "", x);
            case Kind::Double:
                return detail::valueToFloating(result, value, "", DBL_MAX, "", x);
            case Kind::String:
                return value.kind() == BindingValueKind::String;
            case Kind::Blob:
                return detail::valueToBlob(result, value, "", bytes);
            default:
                return true;  // an object takes any value
        }
    }

    // "int64", "a list of int32", "a ChampSelectTimer mapping".
    std::string expected(const TypeRef& type) const {
        const auto kind = static_cast<Kind>(type.kind);
        switch (kind) {
            case Kind::Struct:
                return type.typeName.empty() ? "a mapping"
                                             : "a " + std::string(type.typeName) + " mapping";
            case Kind::Enum:
                return enumDescription(type.typeName);
            case Kind::Vector:
            case Kind::Map: {
                std::string text = kind == Kind::Vector ? "a list" : "a mapping";
                if (type.elementKind != 0) {
                    text += " of " + elementName(type.elementKind, type.typeName);
                }
                return text;
            }
            case Kind::Blob:
                return "base64 text";
            default:
                return typeKindName(kind);
        }
    }

    static std::string elementName(std::uint32_t kind, std::string_view typeName) {
        const auto k = static_cast<Kind>(kind);
        if (k == Kind::Struct || k == Kind::Enum) {
            return std::string(typeName);
        }
        return k == Kind::Vector ? "lists" : typeKindName(k);
    }

    // "one of AVAILABLE, BUSY, ... (TradeState)".
    std::string enumDescription(std::string_view typeName) const {
        std::string text = "one of ";
        const TavTypeRecord* type = find(typeName);
        for (std::uint32_t i = 0;
             type != nullptr && type->enumerators != nullptr && i < type->count; ++i) {
            text += i == 0 ? "" : ", ";
            text += type->enumerators[i].name;
        }
        return text + " (" + std::string(typeName) + ")";
    }

    const TavTypeRecord* find(std::string_view name) const {
        const auto found = types_.find(name);
        return found != types_.end() ? found->second : nullptr;
    }

    bool fail(const BindingValue& value, const std::string& expectedText) {
        // Appended piece by piece: GCC 12's -Wrestrict misreads the same
        // text built with operator+ at -O3.
        std::string member;
        for (const ValuePathStep& step : at_) {
            if (const auto* key = std::get_if<std::string>(&step)) {
                member.append(member.empty() ? "" : ".").append(*key);
            } else {
                member.append("[").append(std::to_string(std::get<std::size_t>(step))).append("]");
            }
        }
        std::string text = member.empty() ? std::string("it") : std::string("'");
        if (!member.empty()) {
            text.append(member).append("'");
        }
        text.append(" must be ").append(expectedText).append(", not ").append(described(value));
        failure_ = TypeMismatch{at_, std::move(text)};
        return false;
    }

    void noteUnknownKeys(const BindingValue& value, const TavTypeRecord& type) {
        const std::span<const TavFieldRecord> fields(type.fields, type.count);
        for (const BindingMember& member : value.members()) {
            const std::string_view key = member.key();
            if (std::ranges::any_of(fields, [&](const TavFieldRecord& field) {
                    return std::string_view(field.name) == key;
                })) {
                continue;
            }
            std::string_view nearest;
            std::size_t best = 3;  // at most two edits away
            for (const TavFieldRecord& field : fields) {
                if (const std::size_t d = editDistance(key, field.name); d < best) {
                    best = d;
                    nearest = field.name;
                }
            }
            std::vector<ValuePathStep> at = at_;
            at.emplace_back(std::string(key));
            std::string what = "unknown key '" + std::string(key) + "' in a " +
                               std::string(type.name) + ": the module ignores it";
            if (!nearest.empty()) {
                what += " (did you mean '" + std::string(nearest) + "'?)";
            }
            unknownKeys_->push_back({std::move(at), std::move(what)});
        }
    }

    static std::size_t editDistance(std::string_view a, std::string_view b) {
        std::vector<std::size_t> row(b.size() + 1);
        for (std::size_t j = 0; j <= b.size(); ++j) {
            row[j] = j;
        }
        for (std::size_t i = 1; i <= a.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min(
                    {row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        return row[b.size()];
    }

    const std::map<std::string_view, const TavTypeRecord*>& types_;
    std::vector<TypeMismatch>* unknownKeys_;
    std::vector<ValuePathStep> at_;
    std::optional<TypeMismatch> failure_;
};

}  // namespace

ModuleTypes::ModuleTypes(const TavEndpointTable& table) {
    for (std::uint32_t i = 0; table.types != nullptr && i < table.typeCount; ++i) {
        // Copied first: the records are packed, and a reference to one of
        // their pointers would be misaligned.
        const char* name = table.types[i].name;
        types_.emplace(name, &table.types[i]);
    }
    for (std::uint32_t i = 0; table.endpoints != nullptr && i < table.endpointCount; ++i) {
        const TavEndpointRecord& endpoint = table.endpoints[i];
        const std::string_view path = endpoint.path != nullptr ? endpoint.path : "";
        if (!path.starts_with(kFacadeBase)) {
            continue;
        }
        const std::string_view relative = path.substr(kFacadeBase.size());
        requested_.push_back(relative);
        if (endpoint.method == TAV_METHOD_GET) {
            resourceReaders_.emplace(relative, &endpoint.function);
        }
    }
    std::ranges::sort(requested_);
    requested_.erase(std::unique(requested_.begin(), requested_.end()), requested_.end());
    for (const std::string_view path : requested_) {
        requestedList_ += requestedList_.empty() ? "" : ", ";
        requestedList_ += path;
    }
}

bool ModuleTypes::requests(std::string_view url) const {
    const std::string_view path = url.substr(0, url.find('?'));
    return std::ranges::any_of(requested_, [&](std::string_view pathTemplate) {
        return pathMatchesTemplate(pathTemplate, path);
    });
}

std::optional<TypeMismatch> ModuleTypes::checkResource(
    std::string_view path, const BindingValue& value,
    std::vector<TypeMismatch>* unknownKeys) const {
    const auto reader = resourceReaders_.find(path);
    if (reader == resourceReaders_.end()) {
        return std::nullopt;
    }
    const TavFunctionRecord& function = *reader->second;
    return Checker(types_, unknownKeys)
        .run(value, {function.returnKind, function.returnElementKind, function.returnTypeName});
}

}  // namespace tav::devhost

#include "openapi/openapi_schemas.h"

#include <cstdint>

#include "binding/type_kind.h"

namespace tav::devhost {

namespace {

using Kind = BindingTypeKind;

// How each number kind travels: its JSON type, the OpenAPI format name and
// the range a JSON number must keep to where the format alone does not say.
enum class Bounds { None, Minimum, Both };

struct NumberSchema {
    Kind kind;
    const char* type;
    const char* format;
    Bounds bounds;
    std::int64_t minimum;
    std::uint64_t maximum;
};

constexpr NumberSchema kNumbers[] = {
    {Kind::Int8, "integer", "int8", Bounds::Both, INT8_MIN, INT8_MAX},
    {Kind::UInt8, "integer", "uint8", Bounds::Both, 0, UINT8_MAX},
    {Kind::Int16, "integer", "int16", Bounds::Both, INT16_MIN, INT16_MAX},
    {Kind::UInt16, "integer", "uint16", Bounds::Both, 0, UINT16_MAX},
    {Kind::Int32, "integer", "int32", Bounds::None, 0, 0},
    {Kind::UInt32, "integer", "uint32", Bounds::Both, 0, UINT32_MAX},
    {Kind::Int64, "integer", "int64", Bounds::None, 0, 0},
    // A maximum of 2^64-1 would not survive readers that parse numbers as
    // doubles; the format says it.
    {Kind::UInt64, "integer", "uint64", Bounds::Minimum, 0, 0},
    {Kind::Float, "number", "float", Bounds::None, 0, 0},
    {Kind::Double, "number", "double", Bounds::None, 0, 0},
};

const NumberSchema* numberSchema(Kind kind) {
    for (const NumberSchema& number : kNumbers) {
        if (number.kind == kind) {
            return &number;
        }
    }
    return nullptr;
}

void writeNumber(OpenApiWriter& writer, const NumberSchema& number) {
    writeSchemaType(writer, number.type);
    writer.Key("format");
    writer.String(number.format);
    if (number.bounds != Bounds::None) {
        writer.Key("minimum");
        writer.Int64(number.minimum);
    }
    if (number.bounds == Bounds::Both) {
        writer.Key("maximum");
        writer.Uint64(number.maximum);
    }
}

}  // namespace

std::string componentName(std::string_view typeName) {
    std::string name(typeName);
    for (char& c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!allowed) {
            c = '_';
        }
    }
    return name.empty() ? std::string("_") : name;
}

std::string componentName(const TavTypeRecord& type, SchemaRole role) {
    std::string name = componentName(type.name);
    if (role == SchemaRole::Body && type.enumerators == nullptr) {
        name += "Body";
    }
    return name;
}

SchemaWriter::SchemaWriter(const TavEndpointTable& table) {
    for (std::uint32_t i = 0; table.types != nullptr && i < table.typeCount; ++i) {
        const TavTypeRecord& type = table.types[i];
        // By value: a packed member must not bind to a reference.
        types_.emplace(std::string_view(type.name), &type);
    }
}

void SchemaWriter::writeSchema(OpenApiWriter& writer, const KindRef& ref, SchemaRole role) {
    // On the wire every member is written; an absent optional is null.
    if (ref.optional) {
        writer.StartObject();
        writer.Key("anyOf");
        writer.StartArray();
    }
    if (static_cast<Kind>(ref.kind) == Kind::Vector || static_cast<Kind>(ref.kind) == Kind::Map) {
        writer.StartObject();
        writeSchemaType(writer, static_cast<Kind>(ref.kind) == Kind::Vector ? "array" : "object");
        writer.Key(static_cast<Kind>(ref.kind) == Kind::Vector ? "items" : "additionalProperties");
        writeElement(writer, ref.elementKind, ref.typeName, role);
        writer.EndObject();
    } else {
        writeElement(writer, ref.kind, ref.typeName, role);
    }
    if (ref.optional) {
        writer.StartObject();
        writeSchemaType(writer, "null");
        writer.EndObject();
        writer.EndArray();
        writer.EndObject();
    }
}

void SchemaWriter::writeElement(OpenApiWriter& writer, std::uint32_t kindWord,
                                std::string_view typeName, SchemaRole role) {
    const auto kind = static_cast<Kind>(kindWord);
    if (kind == Kind::Enum || kind == Kind::Struct) {
        writeReference(writer, typeName, role);
        return;
    }
    writer.StartObject();
    if (const NumberSchema* number = numberSchema(kind)) {
        writeNumber(writer, *number);
    } else if (kind == Kind::Bool) {
        writeSchemaType(writer, "boolean");
    } else if (kind == Kind::String) {
        writeSchemaType(writer, "string");
    } else if (kind == Kind::Blob) {
        writeSchemaType(writer, "string");
        writer.Key("contentEncoding");
        writer.String("base64");
    } else if (kind == Kind::Vector) {
        // A vector of vectors carries no element kind for the inner one.
        writeSchemaType(writer, "array");
    } else if (kind == Kind::Map) {
        writeSchemaType(writer, "object");
    }
    // Object (any value), callbacks and unknown kinds: any JSON value.
    writer.EndObject();
}

void SchemaWriter::writeReference(OpenApiWriter& writer, std::string_view typeName,
                                  SchemaRole role) {
    const auto found = types_.find(typeName);
    writer.StartObject();
    if (found == types_.end()) {
        // Not described by the module: any value, with the name it gave.
        if (!typeName.empty()) {
            writer.Key("title");
            writeText(writer, typeName);
        }
        writer.EndObject();
        return;
    }
    if (found->second->enumerators != nullptr) {
        role = SchemaRole::Answer;
    }
    if (referenced_.insert({typeName, role}).second) {
        pending_.push_back({typeName, role});
    }
    writer.Key("$ref");
    writeText(writer, "#/components/schemas/" + componentName(*found->second, role));
    writer.EndObject();
}

void SchemaWriter::writeComponents(OpenApiWriter& writer) {
    // Writing a record may reference more types; they are written in turn.
    while (!pending_.empty()) {
        const auto [name, role] = pending_.front();
        pending_.pop_front();
        const TavTypeRecord& type = *types_.at(name);
        writeKey(writer, componentName(type, role));
        writeType(writer, type, role);
    }
}

void SchemaWriter::writeType(OpenApiWriter& writer, const TavTypeRecord& type, SchemaRole role) {
    writer.StartObject();
    writer.Key("title");
    writeText(writer, type.name);
    if (type.description != nullptr && *type.description != '\0') {
        writer.Key("description");
        writer.String(type.description);
    }
    if (type.enumerators != nullptr) {
        writeSchemaType(writer, "string");
        writer.Key("enum");
        writer.StartArray();
        for (std::uint32_t i = 0; i < type.count; ++i) {
            writer.String(type.enumerators[i].name);
        }
        writer.EndArray();
        writer.EndObject();
        return;
    }
    writeSchemaType(writer, "object");
    writer.Key("properties");
    writer.StartObject();
    std::uint32_t required = 0;
    for (std::uint32_t i = 0; type.fields != nullptr && i < type.count; ++i) {
        const TavFieldRecord& field = type.fields[i];
        writer.Key(field.name);
        writeSchema(writer, {+field.kind, +field.elementKind, field.typeName, field.optional != 0},
                    role);
        required += field.optional == 0 && role == SchemaRole::Answer ? 1 : 0;
    }
    writer.EndObject();
    if (required != 0) {
        writer.Key("required");
        writer.StartArray();
        for (std::uint32_t i = 0; i < type.count; ++i) {
            if (type.fields[i].optional == 0) {
                writer.String(type.fields[i].name);
            }
        }
        writer.EndArray();
    }
    writer.EndObject();
}

}  // namespace tav::devhost

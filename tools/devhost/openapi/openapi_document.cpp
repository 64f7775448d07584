#include "openapi/openapi_document.h"

#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "api/method_names.h"
#include "binding/type_kind.h"
#include "openapi/openapi_json.h"
#include "openapi/openapi_schemas.h"

namespace tav::devhost {

namespace {

// Argument locations as the endpoint records give them.
enum Location : std::uint32_t { kAny = 0, kQuery = 1, kPath = 2, kHeader = 4, kBody = 5 };

// Body and answer encodings the host reads and writes.
constexpr const char* kBodyTypes[] = {"application/json", "application/x-msgpack",
                                      "application/x-yaml"};
constexpr const char* kAnswerTypes[] = {"application/json", "application/x-msgpack"};

constexpr std::string_view kErrorSchema = "HostError";

struct Operation {
    std::string method;  // lower case, as OpenAPI names it
    const TavEndpointRecord* endpoint;
};

struct PathItem {
    std::string path;
    std::vector<Operation> operations;
};

// "{+rest}" and "{#frag}" templates are written as plain "{rest}".
std::string openApiPath(const char* path) {
    std::string result = path != nullptr && *path == '/' ? "" : "/";
    for (const char* c = path; c != nullptr && *c != '\0'; ++c) {
        if ((*c == '+' || *c == '#') && c != path && c[-1] == '{') {
            continue;
        }
        result += *c;
    }
    return result;
}

// OpenAPI has no place for a custom method or for "any method" (code 0);
// such endpoints are left out.
std::string openApiMethod(std::uint32_t code) {
    const MethodCode known = methodCodeOf(code);
    if (known == MethodCode::None || known == MethodCode::Custom) {
        return {};
    }
    std::string method = methodName(code);
    for (char& c : method) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return method;
}

std::vector<PathItem> collectPaths(const TavEndpointTable& table) {
    std::vector<PathItem> items;
    for (std::uint32_t i = 0; table.endpoints != nullptr && i < table.endpointCount; ++i) {
        const TavEndpointRecord& endpoint = table.endpoints[i];
        std::string method = openApiMethod(endpoint.method);
        if (method.empty()) {
            continue;
        }
        std::string path = openApiPath(endpoint.path);
        PathItem* item = nullptr;
        for (PathItem& existing : items) {
            if (existing.path == path) {
                item = &existing;
            }
        }
        if (item == nullptr) {
            item = &items.emplace_back(PathItem{std::move(path), {}});
        }
        bool taken = false;
        for (const Operation& operation : item->operations) {
            taken = taken || operation.method == method;
        }
        // The host routes a path and method to the first endpoint listing it.
        if (!taken) {
            item->operations.push_back({std::move(method), &endpoint});
        }
    }
    return items;
}

bool isContainer(std::uint32_t kind) {
    const auto k = static_cast<BindingTypeKind>(kind);
    return k == BindingTypeKind::Struct || k == BindingTypeKind::Vector ||
           k == BindingTypeKind::Map || k == BindingTypeKind::Object;
}

// Where a parameter is documented: an "any" parameter is taken from the
// path when the template names it, else a container from the body and
// anything else from the query.
std::uint32_t documentedLocation(std::uint32_t location, const TavArgumentRecord& argument,
                                 const std::string& path) {
    if (location == kPath || location == kQuery || location == kHeader || location == kBody) {
        return location;
    }
    // Appended piece by piece: GCC 12 at -O2 warns (-Wrestrict) on "{" + std::string.
    std::string placeholder = "{";
    placeholder += argument.name;
    placeholder += '}';
    if (path.find(placeholder) != std::string::npos) {
        return kPath;
    }
    return isContainer(argument.kind) ? kBody : kQuery;
}

KindRef argumentRef(const TavArgumentRecord& argument) {
    return {+argument.kind, +argument.elementKind, argument.typeName, false};
}

class DocumentWriter {
public:
    DocumentWriter(const TavEndpointTable& table, OpenApiWriter& writer)
        : writer_(writer), schemas_(table) {}

    void writeOperation(const std::string& path, const TavEndpointRecord& endpoint);
    void writeComponents();

private:
    void writeParameters(const std::string& path, const TavEndpointRecord& endpoint);
    void writeResponses(const TavFunctionRecord& function);
    void writeContent(const char* const* types, std::size_t count, const KindRef& ref,
                      SchemaRole role);
    void writeErrorSchema();
    std::string uniqueOperationId(const char* name);

    OpenApiWriter& writer_;
    SchemaWriter schemas_;
    std::set<std::string> operationIds_;
};

std::string DocumentWriter::uniqueOperationId(const char* name) {
    std::string id = name != nullptr && *name != '\0' ? name : "operation";
    for (int n = 2; !operationIds_.insert(id).second; ++n) {
        id = std::string(name != nullptr ? name : "operation") + "_" + std::to_string(n);
    }
    return id;
}

void DocumentWriter::writeOperation(const std::string& path, const TavEndpointRecord& endpoint) {
    const TavFunctionRecord& function = endpoint.function;
    writer_.StartObject();
    writer_.Key("operationId");
    writeText(writer_, uniqueOperationId(function.name));
    if (function.tagCount != 0 && function.tags != nullptr) {
        writer_.Key("tags");
        writer_.StartArray();
        for (std::uint32_t i = 0; i < function.tagCount; ++i) {
            writer_.String(function.tags[i]);
        }
        writer_.EndArray();
    }
    std::string description = function.description != nullptr ? function.description : "";
    if (function.help != nullptr && *function.help != '\0') {
        description += description.empty() ? "" : "\n\n";
        description += function.help;
    }
    if (!description.empty()) {
        writer_.Key("description");
        writeText(writer_, description);
    }
    writeParameters(path, endpoint);
    writeResponses(function);
    writer_.EndObject();
}

void DocumentWriter::writeParameters(const std::string& path, const TavEndpointRecord& endpoint) {
    const TavFunctionRecord& function = endpoint.function;
    std::vector<std::uint32_t> locations;
    const TavArgumentLocationNode* node = endpoint.locations;
    for (std::uint32_t i = 0; i < function.argumentCount; ++i) {
        locations.push_back(documentedLocation(node != nullptr ? +node->location : kAny,
                                               function.arguments[i], path));
        node = node != nullptr ? node->next : nullptr;
    }

    bool anyParameter = false;
    for (std::uint32_t i = 0; i < function.argumentCount; ++i) {
        if (locations[i] == kBody) {
            continue;
        }
        if (!anyParameter) {
            writer_.Key("parameters");
            writer_.StartArray();
            anyParameter = true;
        }
        const TavArgumentRecord& argument = function.arguments[i];
        writer_.StartObject();
        writer_.Key("name");
        writer_.String(argument.name);
        writer_.Key("in");
        writer_.String(locations[i] == kPath     ? "path"
                       : locations[i] == kHeader ? "header"
                                                 : "query");
        writer_.Key("required");
        writer_.Bool(locations[i] == kPath || argument.optional == 0);
        if (argument.description != nullptr && *argument.description != '\0') {
            writer_.Key("description");
            writer_.String(argument.description);
        }
        writer_.Key("schema");
        schemas_.writeSchema(writer_, argumentRef(argument));
        writer_.EndObject();
    }
    if (anyParameter) {
        writer_.EndArray();
    }

    // The first body parameter receives the whole body.
    for (std::uint32_t i = 0; i < function.argumentCount; ++i) {
        if (locations[i] != kBody) {
            continue;
        }
        const TavArgumentRecord& argument = function.arguments[i];
        writer_.Key("requestBody");
        writer_.StartObject();
        writer_.Key("required");
        writer_.Bool(argument.optional == 0);
        writer_.Key("description");
        writeText(writer_, "The argument '" + std::string(argument.name) + "'.");
        writeContent(kBodyTypes, std::size(kBodyTypes), argumentRef(argument), SchemaRole::Body);
        writer_.EndObject();
        break;
    }
}

// The host answers 204 when the module's answer holds no value: always for
// a function returning nothing, and for one returning "any value" when that
// value is empty.
void DocumentWriter::writeResponses(const TavFunctionRecord& function) {
    const auto kind = static_cast<BindingTypeKind>(function.returnKind);
    writer_.Key("responses");
    writer_.StartObject();
    if (kind != BindingTypeKind::None) {
        writer_.Key("200");
        writer_.StartObject();
        writer_.Key("description");
        writer_.String("The answer.");
        writeContent(
            kAnswerTypes, std::size(kAnswerTypes),
            {+function.returnKind, +function.returnElementKind, function.returnTypeName, false},
            SchemaRole::Answer);
        writer_.EndObject();
    }
    if (kind == BindingTypeKind::None || kind == BindingTypeKind::Object) {
        writer_.Key("204");
        writer_.StartObject();
        writer_.Key("description");
        writer_.String("Done; the answer holds no value.");
        writer_.EndObject();
    }
    writer_.Key("default");
    writer_.StartObject();
    writer_.Key("$ref");
    writer_.String("#/components/responses/Error");
    writer_.EndObject();
    writer_.EndObject();
}

void DocumentWriter::writeContent(const char* const* types, std::size_t count, const KindRef& ref,
                                  SchemaRole role) {
    writer_.Key("content");
    writer_.StartObject();
    for (std::size_t i = 0; i < count; ++i) {
        writer_.Key(types[i]);
        writer_.StartObject();
        writer_.Key("schema");
        schemas_.writeSchema(writer_, ref, role);
        writer_.EndObject();
    }
    writer_.EndObject();
}

void DocumentWriter::writeErrorSchema() {
    writeKey(writer_, kErrorSchema);
    writer_.StartObject();
    writeSchemaType(writer_, "object");
    writer_.Key("description");
    writer_.String("An error answer: the status text, the status and the module's message.");
    writer_.Key("properties");
    writer_.StartObject();
    for (const char* name : {"errorCode", "message"}) {
        writer_.Key(name);
        writer_.StartObject();
        writeSchemaType(writer_, "string");
        writer_.EndObject();
    }
    writer_.Key("httpStatus");
    writer_.StartObject();
    writeSchemaType(writer_, "integer");
    writer_.EndObject();
    writer_.EndObject();
    writer_.Key("required");
    writer_.StartArray();
    for (const char* name : {"errorCode", "httpStatus", "message"}) {
        writer_.String(name);
    }
    writer_.EndArray();
    writer_.EndObject();
}

void DocumentWriter::writeComponents() {
    writer_.Key("components");
    writer_.StartObject();
    writer_.Key("schemas");
    writer_.StartObject();
    schemas_.writeComponents(writer_);
    writeErrorSchema();
    writer_.EndObject();
    writer_.Key("responses");
    writer_.StartObject();
    writer_.Key("Error");
    writer_.StartObject();
    writer_.Key("description");
    writer_.String("The module answered with an error, or the request did not reach it.");
    writer_.Key("content");
    writer_.StartObject();
    writer_.Key("application/json");
    writer_.StartObject();
    writer_.Key("schema");
    writer_.StartObject();
    writer_.Key("$ref");
    writeText(writer_, "#/components/schemas/" + std::string(kErrorSchema));
    writer_.EndObject();
    writer_.EndObject();
    writer_.EndObject();
    writer_.EndObject();
    writer_.EndObject();
    writer_.EndObject();
}

}  // namespace

std::string openApiDocument(const TavEndpointTable& table, const OpenApiInfo& info) {
    OpenApiBuffer buffer;
    OpenApiWriter writer(buffer);
    writer.SetIndent(' ', 2);
    DocumentWriter document(table, writer);

    writer.StartObject();
    writer.Key("openapi");
    writer.String("3.1.0");
    writer.Key("info");
    writer.StartObject();
    writer.Key("title");
    writeText(writer, info.title);
    writer.Key("version");
    writeText(writer, info.version);
    writer.Key("description");
    writer.String("Generated at run time from the endpoint table of the loaded module.");
    writer.EndObject();
    if (!info.serverUrl.empty()) {
        writer.Key("servers");
        writer.StartArray();
        writer.StartObject();
        writer.Key("url");
        writeText(writer, info.serverUrl);
        writer.EndObject();
        writer.EndArray();
    }

    writer.Key("paths");
    writer.StartObject();
    for (const PathItem& item : collectPaths(table)) {
        writeKey(writer, item.path);
        writer.StartObject();
        for (const Operation& operation : item.operations) {
            writeKey(writer, operation.method);
            document.writeOperation(item.path, *operation.endpoint);
        }
        writer.EndObject();
    }
    writer.EndObject();
    document.writeComponents();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace tav::devhost

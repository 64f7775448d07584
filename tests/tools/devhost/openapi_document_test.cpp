// The OpenAPI generator over a hand-built endpoint table with what the
// champ-select module does not have: templates with "+", several methods
// and duplicates on one path, custom and "any" methods, parameters in every
// location, nested and optional types, names OpenAPI does not allow.
#include "openapi/openapi_document.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/pointer.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace {

const char* const kTags[] = {"Plugins"};

// Arguments and fields are described alike.
template <class Record>
Record member(const char* name, std::uint32_t kind, const char* typeName = "",
              bool optional = false, std::uint32_t elementKind = 0) {
    Record record{};
    record.name = name;
    record.description = "";
    record.kind = kind;
    record.elementKind = elementKind;
    record.typeName = typeName;
    record.optional = optional ? 1 : 0;
    return record;
}

// One table; the records point into each other, so it is built in place.
struct Table {
    std::vector<TavArgumentRecord> pathArgument;
    std::vector<TavArgumentRecord> putArguments;
    TavArgumentLocationNode putLocations[5]{};
    TavArgumentLocationNode pathLocation{nullptr, 2};

    std::vector<TavFieldRecord> oddFields;
    std::vector<TavFieldRecord> innerFields;
    TavEnumeratorRecord colors[2]{{nullptr, "BLUE", "", 2}, {nullptr, "RED", "", 1}};
    std::vector<TavTypeRecord> types;
    std::vector<TavEndpointRecord> endpoints;
    TavEndpointTable table{};

    TavEndpointRecord endpoint(std::uint32_t method, const char* path, const char* name) {
        TavEndpointRecord record{};
        record.function.name = name;
        record.function.nameSpace = "";
        record.function.description = "";
        record.function.help = "";
        record.function.returnKind = 13;
        record.function.returnTypeName = "";
        record.function.tags = kTags;
        record.function.tagCount = 1;
        record.path = path;
        record.method = method;
        return record;
    }

    TavTypeRecord type(const char* name) {
        TavTypeRecord record{};
        record.name = name;
        record.nameSpace = "";
        record.description = "";
        return record;
    }

    Table() {
        pathArgument.push_back(member<TavArgumentRecord>("rest", 12));
        putArguments.push_back(member<TavArgumentRecord>("id", 2));
        putArguments.push_back(member<TavArgumentRecord>("record", 17, "ns::Odd<T>"));
        putArguments.push_back(member<TavArgumentRecord>("q", 15, "", true, 6));
        putArguments.push_back(member<TavArgumentRecord>("h", 12));
        putArguments.push_back(member<TavArgumentRecord>("more", 17, "Inner"));
        oddFields.push_back(member<TavFieldRecord>("a", 6));
        oddFields.push_back(member<TavFieldRecord>("b", 9, "", true));
        oddFields.push_back(member<TavFieldRecord>("c", 15, "Inner", false, 17));
        oddFields.push_back(member<TavFieldRecord>("d", 16, "Color"));
        oddFields.push_back(member<TavFieldRecord>("e", 19, "", false, 12));
        innerFields.push_back(member<TavFieldRecord>("x", 1));
        for (std::size_t i = 0; i < 5; ++i) {
            putLocations[i].location = i == 2 ? 1 : i == 3 ? 4 : 0;
            putLocations[i].next = i + 1 < 5 ? &putLocations[i + 1] : nullptr;
        }
        auto withPath = [&](TavEndpointRecord record) {
            record.function.arguments = pathArgument.data();
            record.function.argumentCount = 1;
            record.locations = &pathLocation;
            return record;
        };
        endpoints.push_back(withPath(endpoint(2, "/a/{+rest}", "GetA")));
        endpoints.push_back(withPath(endpoint(6, "/a/{+rest}", "PostA")));
        endpoints.push_back(withPath(endpoint(2, "/a/{+rest}", "GetAAgain")));
        endpoints.push_back(endpoint(8, "/custom", "Custom"));
        endpoints.push_back(endpoint(0, "/any", "Any"));
        TavEndpointRecord put = endpoint(7, "/b", "PutB");
        put.function.arguments = putArguments.data();
        put.function.argumentCount = static_cast<std::uint32_t>(putArguments.size());
        put.function.returnKind = 15;
        put.function.returnElementKind = 16;
        put.function.returnTypeName = "Color";
        put.locations = putLocations;
        endpoints.push_back(put);
        endpoints.push_back(endpoint(1, "/b", "PutB"));

        TavTypeRecord odd = type("ns::Odd<T>");
        odd.fields = oddFields.data();
        odd.count = static_cast<std::uint32_t>(oddFields.size());
        TavTypeRecord inner = type("Inner");
        inner.fields = innerFields.data();
        inner.count = 1;
        TavTypeRecord color = type("Color");
        color.enumerators = colors;
        color.count = 2;
        types.push_back(type("Unused"));
        types.push_back(odd);
        types.push_back(inner);
        types.push_back(color);

        table.endpoints = endpoints.data();
        table.endpointCount = static_cast<std::uint32_t>(endpoints.size());
        table.types = types.data();
        table.typeCount = static_cast<std::uint32_t>(types.size());
    }
};

std::string at(const rapidjson::Document& document, const char* pointer) {
    const rapidjson::Value* value = rapidjson::Pointer(pointer).Get(document);
    if (value == nullptr) {
        return "(missing)";
    }
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value->Accept(writer);
    return buffer.GetString();
}

TEST(DevhostOpenApi, WritesWhatTheTableSays) {
    Table table;
    const std::string text =
        tav::devhost::openApiDocument(table.table, {"title", "1.2.3", "http://127.0.0.1:1"});
    rapidjson::Document document;
    ASSERT_FALSE(document.Parse(text.c_str()).HasParseError()) << text;

    const std::string oddRef = R"({"$ref":"#/components/schemas/ns__Odd_T_"})";
    const struct {
        const char* pointer;
        std::string expected;
    } rows[] = {
        {"/info/version", R"("1.2.3")"},
        {"/servers/0/url", R"("http://127.0.0.1:1")"},
        // "{+rest}" is a plain parameter; the first GET on a path wins.
        {"/paths/~1a~1{rest}/get/operationId", R"("GetA")"},
        {"/paths/~1a~1{rest}/post/operationId", R"("PostA")"},
        // "Any value" may be none at all: 204.
        {"/paths/~1a~1{rest}/get/responses/204/description",
         R"("Done; the answer holds no value.")"},
        {"/paths/~1b/put/responses/204", "(missing)"},
        {"/paths/~1a~1{rest}/get/parameters/0",
         R"({"name":"rest","in":"path","required":true,"schema":{"type":"string"}})"},
        // Custom and "any" methods have no place in OpenAPI.
        {"/paths/~1custom", "(missing)"},
        {"/paths/~1any", "(missing)"},
        // An "any" parameter: the query for a number, the body for a record;
        // only the first body parameter is the body.
        {"/paths/~1b/put/parameters/0",
         R"({"name":"id","in":"query","required":true,)"
         R"("schema":{"type":"integer","format":"int8","minimum":-128,"maximum":127}})"},
        {"/paths/~1b/put/parameters/1",
         R"({"name":"q","in":"query","required":false,)"
         R"("schema":{"type":"array","items":{"type":"integer","format":"int32"}}})"},
        {"/paths/~1b/put/parameters/2/in", R"("header")"},
        {"/paths/~1b/put/parameters/3", "(missing)"},
        {"/paths/~1b/put/requestBody/content/application~1x-yaml/schema", oddRef},
        {"/paths/~1b/put/responses/200/content/application~1json/schema",
         R"({"type":"array","items":{"$ref":"#/components/schemas/Color"}})"},
        // A second endpoint with a function name already used.
        {"/paths/~1b/delete/operationId", R"("PutB_2")"},
        // Components: referenced types only, under allowed names.
        {"/components/schemas/Unused", "(missing)"},
        {"/components/schemas/ns__Odd_T_/required", R"(["a","c","d","e"])"},
        {"/components/schemas/ns__Odd_T_/properties/b",
         R"({"anyOf":[{"type":"integer","format":"uint64","minimum":0},{"type":"null"}]})"},
        {"/components/schemas/ns__Odd_T_/properties/c/items/$ref",
         R"("#/components/schemas/Inner")"},
        {"/components/schemas/ns__Odd_T_/properties/e",
         R"({"type":"object","additionalProperties":{"type":"string"}})"},
        {"/components/schemas/Color/enum", R"(["BLUE","RED"])"},
        {"/components/schemas/Inner/properties/x", R"({"type":"boolean"})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pointer);
        EXPECT_EQ(at(document, row.pointer), row.expected);
    }
}

}  // namespace

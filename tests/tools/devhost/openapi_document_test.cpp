// The OpenAPI and AsyncAPI generators over a hand-built endpoint table with
// what the champ-select module does not have: templates with "+", several
// methods and duplicates on one path, custom and "any" methods, parameters in
// every location, nested and optional types in answers and bodies, names
// OpenAPI does not allow, events the module receives only.
#include "openapi/openapi_document.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <rapidjson/pointer.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "openapi/asyncapi_document.h"

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
    std::vector<TavFieldRecord> resourceEventFields;
    TavEnumeratorRecord colors[2]{{nullptr, "BLUE", "", 2}, {nullptr, "RED", "", 1}};
    std::vector<TavTypeRecord> types;
    std::vector<TavEventRecord> events;
    std::vector<TavEndpointRecord> endpoints;
    TavEndpointTable table{};

    TavEndpointRecord endpoint(std::uint32_t method, const char* path, const char* name,
                               std::uint32_t returnKind = 13, const char* returnTypeName = "") {
        TavEndpointRecord record{};
        record.function.name = name;
        record.function.nameSpace = "";
        record.function.description = "";
        record.function.help = "";
        record.function.returnKind = returnKind;
        record.function.returnTypeName = returnTypeName;
        record.function.tags = kTags;
        record.function.tagCount = 1;
        record.path = path;
        record.method = method;
        return record;
    }

    static TavTypeRecord type(const char* name, const std::vector<TavFieldRecord>& fields) {
        TavTypeRecord record{};
        record.name = name;
        record.nameSpace = "";
        record.description = "";
        record.fields = fields.data();
        record.count = static_cast<std::uint32_t>(fields.size());
        return record;
    }

    Table() {
        pathArgument = {member<TavArgumentRecord>("rest", 12)};
        putArguments = {member<TavArgumentRecord>("id", 2),
                        member<TavArgumentRecord>("record", 17, "ns::Odd<T>"),
                        member<TavArgumentRecord>("q", 15, "", true, 6),
                        member<TavArgumentRecord>("h", 12),
                        member<TavArgumentRecord>("more", 17, "Inner")};
        oddFields = {member<TavFieldRecord>("a", 6), member<TavFieldRecord>("b", 9, "", true),
                     member<TavFieldRecord>("c", 15, "Inner", false, 17),
                     member<TavFieldRecord>("d", 16, "Color"),
                     member<TavFieldRecord>("e", 19, "", false, 12)};
        innerFields = {member<TavFieldRecord>("x", 1)};
        resourceEventFields = {member<TavFieldRecord>("uri", 12),
                               member<TavFieldRecord>("eventType", 16, "Color"),
                               member<TavFieldRecord>("data", 19)};
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
        endpoints.push_back(withPath(endpoint(6, "/a/{+rest}", "PostA", 17, "Inner")));
        endpoints.push_back(withPath(endpoint(2, "/a/{+rest}", "GetAAgain")));
        endpoints.push_back(endpoint(8, "/custom", "Custom"));
        endpoints.push_back(endpoint(0, "/any", "Any"));
        TavEndpointRecord put = endpoint(7, "/b", "PutB", 15, "Color");
        put.function.arguments = putArguments.data();
        put.function.argumentCount = static_cast<std::uint32_t>(putArguments.size());
        put.function.returnElementKind = 16;
        put.locations = putLocations;
        endpoints.push_back(put);
        endpoints.push_back(endpoint(1, "/b", "PutB"));
        // A resource: its event under a name of four pieces.
        endpoints.push_back(endpoint(2, "/r/v1/thing/more", "GetThing", 17, "Inner"));

        TavTypeRecord color = type("Color", {});
        color.fields = nullptr;  // an enum
        color.enumerators = colors;
        color.count = 2;
        types = {type("ns::Odd<T>", oddFields), type("Inner", innerFields), color,
                 type("ResourceEvent", resourceEventFields)};
        for (const auto& [name, payload] :
             {std::pair{"OnLcdsEvent", "Inner"}, std::pair{"OnJsonApiEvent", "ResourceEvent"}}) {
            TavEventRecord event{};
            event.name = name;
            event.nameSpace = "";
            event.payloadTypeName = payload;
            event.description = "";
            events.push_back(event);
        }
        table = {endpoints.data(), static_cast<std::uint32_t>(endpoints.size()),
                 types.data(),     static_cast<std::uint32_t>(types.size()),
                 events.data(),    static_cast<std::uint32_t>(events.size())};
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

struct Row {
    const char* pointer;
    std::string expected;
};

void expectRows(const std::string& text, const std::vector<Row>& rows) {
    rapidjson::Document document;
    ASSERT_FALSE(document.Parse(text.c_str()).HasParseError()) << text;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pointer);
        EXPECT_EQ(at(document, row.pointer), row.expected);
    }
}

TEST(DevhostOpenApi, WritesWhatTheTableSays) {
    Table table;
    const std::string oddRef = R"({"$ref":"#/components/schemas/ns__Odd_T_Body"})";
    expectRows(
        tav::devhost::openApiDocument(table.table, {"title", "1.2.3", "http://127.0.0.1:1"}),
        {
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
            // Components under allowed names (that only referenced types are:
            // document_check.mjs openapi, on the real module). A body's records, nested
            // ones too, require nothing (an absent member keeps its default);
            // an answer's require every member not optional.
            {"/components/schemas/ns__Odd_T_", "(missing)"},
            {"/components/schemas/ns__Odd_T_Body/properties/b",
             R"({"anyOf":[{"type":"integer","format":"uint64","minimum":0},{"type":"null"}]})"},
            {"/components/schemas/ns__Odd_T_Body/properties/c/items/$ref",
             R"("#/components/schemas/InnerBody")"},
            {"/components/schemas/ns__Odd_T_Body/properties/d/$ref",
             R"("#/components/schemas/Color")"},
            {"/components/schemas/ns__Odd_T_Body/properties/e",
             R"({"type":"object","additionalProperties":{"type":"string"}})"},
            {"/components/schemas/InnerBody/required", "(missing)"},
            {"/components/schemas/InnerBody/properties/x", R"({"type":"boolean"})"},
            {"/components/schemas/Inner/required", R"(["x"])"},
            {"/components/schemas/Color/enum", R"(["BLUE","RED"])"},
            {"/components/schemas/ColorBody", "(missing)"},
        });
}

// Only resource events travel the tool's stream: under the event's name and
// under the one derived from each resource's URI, the resource or null.
TEST(DevhostAsyncApi, DescribesTheStreamOfTheTable) {
    Table table;
    const std::string inner = R"({"$ref":"#/components/schemas/Inner"})";
    const std::string derived = "/components/messages/OnJsonApiEvent_r_v1_thing";
    expectRows(tav::devhost::asyncApiDocument(table.table, {"title", "1.2.3", "127.0.0.1:1"}),
               {
                   {"/servers/devhost", R"({"host":"127.0.0.1:1","protocol":"http"})"},
                   {"/channels/events/messages/OnLcdsEvent", "(missing)"},
                   {"/channels/events/messages/OnJsonApiEvent",
                    R"({"$ref":"#/components/messages/OnJsonApiEvent"})"},
                   {"/operations/receiveEvents/messages/1",
                    R"({"$ref":"#/channels/events/messages/OnJsonApiEvent_r_v1_thing"})"},
                   {"/operations/receiveEvents/messages/5",
                    R"({"$ref":"#/channels/events/messages/stream-closed"})"},
                   {"/components/messages/OnJsonApiEvent/payload/properties/data/anyOf",
                    "[" + inner + R"(,{"type":"null"}])"},
                   {"/components/messages/OnJsonApiEvent/payload/required",
                    R"(["name","uri","eventType","data"])"},
                   // Paths whose first pieces hold a parameter have no fixed name.
                   {"/components/messages/OnJsonApiEvent_a", "(missing)"},
                   {(derived + "/x-sse-event").c_str(), R"("plugin")"},
                   {(derived + "/payload/properties/name").c_str(),
                    R"({"const":"OnJsonApiEvent_r_v1_thing"})"},
                   {"/components/messages/stream-closed/x-sse-event", R"("stream-closed")"},
               });
}

}  // namespace

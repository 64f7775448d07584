// The API description built from a registry and route registrations, read
// through its C records as the host reads them: every record, array and text
// the host is given, for records, enums, events and endpoints.
#include "api/api_description.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <gtest/gtest.h>

#include "api_description_walk.h"
#include "binding/binding_value.h"
#include "binding/record_description.h"
#include "binding/type_registry.h"

namespace apitest {

using tav::BindingDescribe;
using tav::field;
using tav::record;

// Declared out of name order, so the description's order is the registry's.
enum class Colour : std::int32_t { Red = 2, Blue = 7, Green = -5 };

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

struct Shape {
    std::string name;
    Point origin;
    std::vector<Point> corners;
    std::vector<std::int32_t> ids;
    Colour colour = Colour::Red;
    std::optional<std::int64_t> weight;
    std::unordered_map<std::string, Point> labels;
    std::vector<tav::BindingValue> extras;
};

constexpr auto describe(BindingDescribe<Colour>) {
    return tav::enumeration<Colour>(
        {{"Red", Colour::Red, "warm"}, {"Blue", Colour::Blue}, {"Green", Colour::Green}});
}

constexpr auto describe(BindingDescribe<Point>) {
    return record(field("x", &Point::x).describedAs("across"), field("y", &Point::y));
}

constexpr auto describe(BindingDescribe<Shape>) {
    return record(field("name", &Shape::name), field("origin", &Shape::origin),
                  field("corners", &Shape::corners), field("ids", &Shape::ids),
                  field("colour", &Shape::colour), field("weight", &Shape::weight),
                  field("labels", &Shape::labels), field("extras", &Shape::extras));
}

}  // namespace apitest

namespace {

using namespace tav;
using namespace tav::testing;
using apitest::Colour;
using apitest::Point;
using apitest::Shape;

void TAV_ABI testEntry(TavResponse* /*response*/, const TavRequest* /*request*/) {}

// A text of the records: never null, an absent text is the empty one.
std::string text(const char* s) {
    EXPECT_NE(s, nullptr);
    return s != nullptr ? s : "";
}

std::string join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) {
        joined += (joined.empty() ? "" : ",") + part;
    }
    return "[" + joined + "]";
}

// An argument or field as "name:kind/elementKind:typeName", "?" when
// optional, then its description.
template <class Member>
std::string memberText(const Member* m) {
    std::string s = text(m->name) + ":" + std::to_string(m->kind) + "/" +
                    std::to_string(m->elementKind) + ":" + text(m->typeName);
    s += m->optional != 0 ? "?" : "";
    return s + (*m->description != '\0' ? " '" + text(m->description) + "'" : "");
}

template <class Member>
std::string membersText(const Member* first, std::uint32_t count) {
    std::vector<std::string> members;
    for (const Member* m : walk(first, count)) {
        members.push_back(memberText(m));
    }
    return join(members);
}

// Everything an endpoint record says, but its pointers.
std::string endpointText(const TavEndpointRecord* e) {
    const TavFunctionRecord& f = e->function;
    std::vector<std::string> locations;
    for (const TavArgumentLocationNode* n = e->locations; n != nullptr; n = n->next) {
        locations.push_back(std::to_string(n->location));
    }
    std::vector<std::string> lists;
    for (const TavTextListNode* n : walk(e->textLists, e->textListCount)) {
        lists.push_back(join(texts(n->texts, n->count)));
    }
    return text(f.name) + " ns=" + text(f.nameSpace) + " '" + text(f.description) + "' help='" +
           text(f.help) + "' returns=" + std::to_string(f.returnKind) + "/" +
           std::to_string(f.returnElementKind) + ":" + text(f.returnTypeName) +
           " async=" + text(f.asyncResult) + " threadSafe=" + std::to_string(f.threadSafe) +
           " tags=" + join(texts(f.tags, f.tagCount)) +
           " arguments=" + membersText(f.arguments, f.argumentCount) +
           " locations=" + join(locations) + " " + std::to_string(e->method) + " " +
           text(e->customMethod) + " " + text(e->path) + " flag=" + std::to_string(e->flag) +
           " lists=" + join(lists);
}

class ApiDescriptionTest : public ::testing::Test {
protected:
    ApiDescriptionTest() {
        registry.reset();
        registerEnum<Colour>(registry, {.name = "ApiTestColour", .description = "hues"});
        registerRecord<Point>(registry, {.name = "ApiTestPoint", .tags = {"Plugins", "test"}});
        registerRecord<Shape>(registry, {.name = "ApiTestShape", .nameSpace = "Geometry"});

        BindingFunctionDescriptor& origin = registry.registerFunction("GetApiTestOrigin", 0);
        origin.returns = bindingTypeRef<Point>(registry);
        origin.description = "The origin";
        origin.threadSafe = true;

        BindingFunctionDescriptor& put = registry.registerFunction("PutApiTestShapesById", 2);
        put.arguments[0] = {"id", "which shape", false, bindingTypeRef<std::int32_t>(registry)};
        put.arguments[1] = {"shape", "", true, bindingTypeRef<Shape>(registry)};
        put.returns = bindingTypeRef<std::vector<Point>>(registry);
        put.tags = {"shapes", "write"};
        put.nameSpace = "Geometry";
        put.help = "Replaces a shape";

        BindingFunctionDescriptor& async = registry.registerFunction("PostApiTestShapes", 0);
        async.returns = bindingTypeRef<Shape>(registry);
        async.async = true;

        BindingEventDescriptor& event =
            registry.registerEvent("OnApiTestShape", registry.findByName("ApiTestShape"));
        event.description = "a shape changed";
        event.tags = {"geometry"};

        put_.function = registry.findFunction("PutApiTestShapesById");
        put_.path = "/api-test/shapes/{id}";
        put_.method = 7;
        put_.locations = {ArgumentLocation::Path, ArgumentLocation::Body};
        put_.flag = 1;
        put_.textLists = {{"a", "bc"}, {}, {"d"}};
        put_.binding = {nullptr, &put_};

        origin_.function = registry.findFunction("GetApiTestOrigin");
        origin_.path = "/api-test/origin";
        origin_.method = 2;
        origin_.binding = {nullptr, &origin_};
    }

    const TavEndpointTable* build(const std::vector<RouteRegistration*>& registrations) {
        description = ApiDescription::build(registry, registrations, testEntry);
        return description->table();
    }

    BindingTypeRegistry registry;
    RouteRegistration put_;
    RouteRegistration origin_;
    std::unique_ptr<ApiDescription> description;
};

TEST_F(ApiDescriptionTest, ListsEveryTypeAndEventInRegistryOrder) {
    const TavEndpointTable* table = build({});
    EXPECT_EQ(+table->endpoints, nullptr);
    EXPECT_EQ(+table->endpointCount, 0u);

    const auto types = walk(table->types, table->typeCount);
    const auto registered = registry.snapshotTypes();
    ASSERT_EQ(types.size(), registered.size());
    for (std::size_t i = 0; i < types.size(); ++i) {
        SCOPED_TRACE(registered[i]->name);
        EXPECT_EQ(text(types[i]->name), registered[i]->name);
        EXPECT_EQ(text(types[i]->description), registered[i]->description);
        EXPECT_EQ(+types[i]->nativeSize, registered[i]->nativeSize);
        EXPECT_EQ(texts(types[i]->tags, types[i]->tagCount), registered[i]->tags);
    }

    const auto events = walk(table->events, table->eventCount);
    ASSERT_EQ(events.size(), registry.snapshotEvents().size());
    const TavEventRecord* shape = events.back();
    EXPECT_EQ(text(shape->name) + " " + text(shape->payloadTypeName) + " '" +
                  text(shape->description) + "' " + join(texts(shape->tags, shape->tagCount)),
              "OnApiTestShape ApiTestShape 'a shape changed' [geometry]");
}

// Fields name a type only for containers and registered types; values are
// passed through as collections of kind 13.
TEST_F(ApiDescriptionTest, RecordFieldsAndEnumerators) {
    const TavTypeRecord* shape = findType(build({}), "ApiTestShape");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(text(shape->nameSpace), "Geometry");
    EXPECT_EQ(+shape->enumerators, nullptr);
    EXPECT_EQ(+shape->tags, nullptr);
    EXPECT_EQ(membersText(shape->fields, shape->count),
              "[name:12/0:,origin:17/0:ApiTestPoint,corners:15/17:ApiTestPoint,ids:15/6:,"
              "colour:16/0:ApiTestColour,weight:8/0:?,labels:19/17:ApiTestPoint,extras:15/13:]");
    std::vector<std::size_t> offsets;
    for (const TavFieldRecord* f : walk(shape->fields, shape->count)) {
        offsets.push_back(f->offset);
    }
    EXPECT_EQ(offsets, (std::vector<std::size_t>{
                           offsetof(Shape, name), offsetof(Shape, origin), offsetof(Shape, corners),
                           offsetof(Shape, ids), offsetof(Shape, colour), offsetof(Shape, weight),
                           offsetof(Shape, labels), offsetof(Shape, extras)}));
    const TavTypeRecord* point = findType(description->table(), "ApiTestPoint");
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(membersText(point->fields, point->count), "[x:6/0: 'across',y:6/0:]");

    // An enum lists its enumerators by name, without fields.
    const TavTypeRecord* colour = findType(description->table(), "ApiTestColour");
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(+colour->fields, nullptr);
    EXPECT_EQ(text(colour->description), "hues");
    std::string enumerators;
    for (const TavEnumeratorRecord* e : walk(colour->enumerators, colour->count)) {
        enumerators += text(e->name) + "=" + std::to_string(e->number) + text(e->description) + " ";
    }
    EXPECT_EQ(enumerators, "Blue=7 Green=-5 Red=2warm ");
}

TEST_F(ApiDescriptionTest, EndpointCarriesItsFunctionAndRegistration) {
    origin_.method = 9;  // not a method code
    RouteRegistration post;
    post.function = registry.findFunction("PostApiTestShapes");
    post.method = 8;
    post.customMethod = "PURGE";
    const TavEndpointTable* table = build({&put_, &origin_, &post});
    const auto endpoints = walk(table->endpoints, table->endpointCount);
    ASSERT_EQ(endpoints.size(), 3u);
    const char* expected[] = {
        "PutApiTestShapesById ns=Geometry '' help='Replaces a shape' returns=15/17:ApiTestPoint "
        "async= threadSafe=0 tags=[shapes,write] arguments=[id:6/0: 'which shape',"
        "shape:17/0:ApiTestShape?] locations=[2,5] 7  /api-test/shapes/{id} flag=1 "
        "lists=[[a,bc],[],[d]]",
        // No arguments, no locations, no text lists: still an endpoint.
        "GetApiTestOrigin ns= 'The origin' help='' returns=17/0:ApiTestPoint async= threadSafe=1 "
        "tags=[] arguments=[] locations=[] 0  /api-test/origin flag=0 lists=[]",
        "PostApiTestShapes ns= '' help='' returns=17/0:ApiTestShape async=ApiTestShape "
        "threadSafe=0 tags=[] arguments=[] locations=[] 8 PURGE  flag=0 lists=[]",
    };
    const RouteRegistration* registrations[] = {&put_, &origin_, &post};
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
        EXPECT_EQ(endpointText(endpoints[i]), expected[i]);
        EXPECT_EQ(+endpoints[i]->function.endpoint, &registrations[i]->binding);
        EXPECT_EQ(+endpoints[i]->entry, &testEntry);
    }
    EXPECT_EQ(+endpoints[1]->function.arguments, nullptr);
    EXPECT_EQ(+endpoints[1]->locations, nullptr);
    EXPECT_EQ(+endpoints[1]->textLists, nullptr);
}

// Endpoints list in registration order whatever the order of their functions
// in the registry (origin, put, post), so the last endpoint's function record
// may have a successor it must not link to.
TEST_F(ApiDescriptionTest, EndpointsListAsRegisteredWhateverTheFunctionOrder) {
    RouteRegistration post;
    post.function = registry.findFunction("PostApiTestShapes");
    post.binding = {nullptr, &post};
    const std::vector<RouteRegistration*> rows[] = {
        {&origin_}, {&put_}, {&put_, &origin_}, {&post, &origin_, &put_}, {&origin_, &put_, &post},
    };
    for (const auto& registrations : rows) {
        std::string order;
        for (const RouteRegistration* r : registrations) {
            order += r->function->name + " ";
        }
        SCOPED_TRACE(order);
        const TavEndpointTable* table = build(registrations);
        const auto endpoints = walk(table->endpoints, table->endpointCount);
        ASSERT_EQ(endpoints.size(), registrations.size());
        for (std::size_t i = 0; i < endpoints.size(); ++i) {
            EXPECT_EQ(text(endpoints[i]->function.name), registrations[i]->function->name);
            EXPECT_EQ(+endpoints[i]->function.endpoint, &registrations[i]->binding);
        }
    }
}

// The entry copies the record registered under the function's name, even
// when the registration holds a replaced descriptor; a function unknown to
// the registry is described from its own descriptor instead of left blank.
TEST_F(ApiDescriptionTest, EndpointFunctionIsFoundByName) {
    const BindingFunctionDescriptor* replaced = put_.function;
    BindingFunctionDescriptor& replacement = registry.registerFunction("PutApiTestShapesById", 1);
    replacement.arguments[0].name = "only";
    ASSERT_EQ(put_.function, replaced);

    BindingFunctionDescriptor unknown;
    unknown.name = "DeleteApiTestShapes";
    unknown.arguments.push_back({"force", "", true, bindingTypeRef<bool>(registry)});
    RouteRegistration orphan;
    orphan.function = &unknown;
    orphan.locations = {ArgumentLocation::Query};

    const TavEndpointTable* table = build({&put_, &orphan});
    const auto endpoints = walk(table->endpoints, table->endpointCount);
    ASSERT_EQ(endpoints.size(), 2u);
    EXPECT_EQ(membersText(endpoints[0]->function.arguments, endpoints[0]->function.argumentCount),
              "[only:0/0:]");
    EXPECT_EQ(endpointText(endpoints[1]),
              "DeleteApiTestShapes ns= '' help='' returns=0/0: async= threadSafe=0 tags=[] "
              "arguments=[force:1/0:?] locations=[1] 0   flag=0 lists=[]");
    EXPECT_EQ(+endpoints[1]->function.endpoint, &orphan.binding);
}

}  // namespace

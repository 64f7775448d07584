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

std::string_view sv(const char* s) {
    EXPECT_NE(s, nullptr);
    return s != nullptr ? std::string_view(s) : std::string_view();
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
        EXPECT_EQ(sv(types[i]->name), registered[i]->name);
        EXPECT_EQ(sv(types[i]->description), registered[i]->description);
        EXPECT_EQ(+types[i]->nativeSize, registered[i]->nativeSize);
        EXPECT_EQ(texts(types[i]->tags, types[i]->tagCount), registered[i]->tags);
    }

    const auto events = walk(table->events, table->eventCount);
    const auto registeredEvents = registry.snapshotEvents();
    ASSERT_EQ(events.size(), registeredEvents.size());
    const TavEventRecord* shape = events.back();
    EXPECT_EQ(sv(shape->name), "OnApiTestShape");
    EXPECT_EQ(sv(shape->payloadTypeName), "ApiTestShape");
    EXPECT_EQ(sv(shape->description), "a shape changed");
    EXPECT_EQ(texts(shape->tags, shape->tagCount), std::vector<std::string>{"geometry"});
}

TEST_F(ApiDescriptionTest, RecordFieldsNameOnlyContainersAndRegisteredTypes) {
    const TavTypeRecord* shape = findType(build({}), "ApiTestShape");
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(sv(shape->nameSpace), "Geometry");
    EXPECT_EQ(+shape->enumerators, nullptr);
    EXPECT_EQ(+shape->tags, nullptr);
    EXPECT_EQ(+shape->tagCount, 0u);

    struct Row {
        const char* name;
        std::size_t offset;
        std::uint32_t kind;
        std::uint32_t elementKind;
        const char* typeName;
        std::uint8_t optional;
    };
    const Row rows[] = {
        {"name", offsetof(Shape, name), 12, 0, "", 0},
        {"origin", offsetof(Shape, origin), 17, 0, "ApiTestPoint", 0},
        {"corners", offsetof(Shape, corners), 15, 17, "ApiTestPoint", 0},
        {"ids", offsetof(Shape, ids), 15, 6, "", 0},
        {"colour", offsetof(Shape, colour), 16, 0, "ApiTestColour", 0},
        {"weight", offsetof(Shape, weight), 8, 0, "", 1},
        {"labels", offsetof(Shape, labels), 19, 17, "ApiTestPoint", 0},
        {"extras", offsetof(Shape, extras), 15, 13, "", 0},  // values passed through
    };
    const auto fields = walk(shape->fields, shape->count);
    ASSERT_EQ(fields.size(), std::size(rows));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(sv(fields[i]->name), rows[i].name);
        EXPECT_EQ(+fields[i]->offset, rows[i].offset);
        EXPECT_EQ(+fields[i]->kind, rows[i].kind);
        EXPECT_EQ(+fields[i]->elementKind, rows[i].elementKind);
        EXPECT_EQ(sv(fields[i]->typeName), rows[i].typeName);
        EXPECT_EQ(sv(fields[i]->description), "");
        EXPECT_EQ(+fields[i]->optional, rows[i].optional);
    }

    const TavTypeRecord* point = findType(description->table(), "ApiTestPoint");
    ASSERT_NE(point, nullptr);
    ASSERT_EQ(walk(point->fields, point->count).size(), 2u);
    EXPECT_EQ(sv(point->fields->description), "across");
    EXPECT_EQ(sv(point->fields->typeName), "");  // int32
}

TEST_F(ApiDescriptionTest, EnumListsItsEnumeratorsByNameWithoutFields) {
    const TavTypeRecord* colour = findType(build({}), "ApiTestColour");
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(+colour->fields, nullptr);
    EXPECT_EQ(sv(colour->description), "hues");
    const auto enumerators = walk(colour->enumerators, colour->count);
    ASSERT_EQ(enumerators.size(), 3u);
    const std::pair<const char*, std::int32_t> expected[] = {
        {"Blue", 7}, {"Green", -5}, {"Red", 2}};
    for (std::size_t i = 0; i < enumerators.size(); ++i) {
        EXPECT_EQ(sv(enumerators[i]->name), expected[i].first);
        EXPECT_EQ(enumerators[i]->number, expected[i].second);
    }
    EXPECT_EQ(sv(enumerators[2]->description), "warm");
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

    const TavEndpointRecord* put = endpoints[0];
    const TavFunctionRecord& f = put->function;
    EXPECT_EQ(+f.endpoint, &put_.binding);
    EXPECT_EQ(+put->entry, &testEntry);
    EXPECT_EQ(sv(f.name), "PutApiTestShapesById");
    EXPECT_EQ(sv(f.nameSpace), "Geometry");
    EXPECT_EQ(sv(f.help), "Replaces a shape");
    EXPECT_EQ(+f.returnKind, 15u);
    EXPECT_EQ(+f.returnElementKind, 17u);
    EXPECT_EQ(sv(f.returnTypeName), "ApiTestPoint");
    EXPECT_EQ(sv(f.asyncResult), "");
    EXPECT_EQ(texts(f.tags, f.tagCount), (std::vector<std::string>{"shapes", "write"}));
    const auto arguments = walk(f.arguments, f.argumentCount);
    ASSERT_EQ(arguments.size(), 2u);
    EXPECT_EQ(sv(arguments[0]->description), "which shape");
    EXPECT_EQ(+arguments[0]->kind, 6u);
    EXPECT_EQ(sv(arguments[0]->typeName), "");
    EXPECT_EQ(sv(arguments[1]->name), "shape");
    EXPECT_EQ(sv(arguments[1]->typeName), "ApiTestShape");
    EXPECT_EQ(+arguments[1]->optional, 1);

    std::vector<std::uint32_t> locations;
    for (const TavArgumentLocationNode* n = put->locations; n != nullptr; n = n->next) {
        locations.push_back(n->location);
    }
    EXPECT_EQ(locations, (std::vector<std::uint32_t>{2, 5}));
    EXPECT_EQ(sv(put->path), "/api-test/shapes/{id}");
    EXPECT_EQ(+put->method, 7u);
    EXPECT_EQ(+put->flag, 1);
    EXPECT_EQ(sv(put->customMethod), "");
    std::vector<std::vector<std::string>> lists;
    for (const TavTextListNode* n : walk(put->textLists, put->textListCount)) {
        lists.push_back(texts(n->texts, n->count));
    }
    EXPECT_EQ(lists, put_.textLists);

    // No arguments, no locations, no text lists: still an endpoint.
    const TavEndpointRecord* origin = endpoints[1];
    EXPECT_EQ(sv(origin->function.name), "GetApiTestOrigin");
    EXPECT_EQ(+origin->function.endpoint, &origin_.binding);
    EXPECT_EQ(+origin->function.arguments, nullptr);
    EXPECT_EQ(+origin->function.argumentCount, 0u);
    EXPECT_EQ(+origin->function.threadSafe, 1);
    EXPECT_EQ(+origin->locations, nullptr);
    EXPECT_EQ(+origin->textLists, nullptr);
    EXPECT_EQ(+origin->method, 0u);

    const TavEndpointRecord* purge = endpoints[2];
    EXPECT_EQ(sv(purge->function.asyncResult), "ApiTestShape");
    EXPECT_EQ(+purge->method, 8u);
    EXPECT_EQ(sv(purge->customMethod), "PURGE");
    EXPECT_EQ(sv(purge->path), "");
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
            EXPECT_EQ(sv(endpoints[i]->function.name), registrations[i]->function->name);
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
    EXPECT_EQ(+endpoints[0]->function.argumentCount, 1u);
    EXPECT_EQ(sv(endpoints[0]->function.arguments->name), "only");

    const TavFunctionRecord& f = endpoints[1]->function;
    EXPECT_EQ(sv(f.name), "DeleteApiTestShapes");
    ASSERT_EQ(walk(f.arguments, f.argumentCount).size(), 1u);
    EXPECT_EQ(+f.arguments->kind, 1u);
    EXPECT_EQ(+f.endpoint, &orphan.binding);
    EXPECT_EQ(+endpoints[1]->locations->location, 1u);
}

}  // namespace

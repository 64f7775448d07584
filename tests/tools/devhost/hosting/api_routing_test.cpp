// Which endpoint of the module's table takes a path: templates segment by
// segment, a literal before a template, the methods a 405 names. (Over HTTP:
// devhost_routes_test.cpp; the routes themselves: the facade's tests.)
#include "hosting/api_routing.h"

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

TEST(DevhostApiRouting, TemplatesMatchWholePaths) {
    const struct {
        const char* pathTemplate;
        const char* path;
        bool matches;
    } rows[] = {
        {"/a/b", "/a/b", true},
        {"/a/b", "/a/b/c", false},
        {"/a/{id}", "/a/7", true},
        {"/a/{id}", "/a/7/complete", false},  // a template with a longer path
        {"/a/{id}/complete", "/a/7", false},
        {"/a/{id}/complete", "/a/7/complete", true},
        {"/a/{id}", "/a/", false},  // an empty segment fills no parameter
        {"/a/{id}", "/b/7", false},
        {"/a/{+rest}", "/a/b/c", true},
        {"/a/{+rest}", "/b/c", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.pathTemplate) + " " + row.path);
        EXPECT_EQ(pathMatchesTemplate(row.pathTemplate, row.path), row.matches);
    }
}

TEST(DevhostApiRouting, ALiteralPathIsPreferredToATemplate) {
    TavEndpointRecord endpoints[3]{};
    endpoints[0].path = "/t/{id}";
    endpoints[0].method = TAV_METHOD_GET;
    endpoints[1].path = "/t/mine";
    endpoints[1].method = TAV_METHOD_GET;
    endpoints[2].path = "/t/{id}";
    endpoints[2].method = TAV_METHOD_DELETE;
    TavEndpointTable table{};
    table.endpoints = endpoints;
    table.endpointCount = 3;

    EXPECT_EQ(findEndpoint(table, "GET", "/t/mine").endpoint, &endpoints[1]);
    EXPECT_EQ(findEndpoint(table, "GET", "/t/7").endpoint, &endpoints[0]);
    const EndpointMatch wrongMethod = findEndpoint(table, "PUT", "/t/7");
    EXPECT_EQ(wrongMethod.endpoint, nullptr);
    EXPECT_EQ(wrongMethod.allowedMethods, (std::vector<std::string>{"GET", "DELETE"}));
}

}  // namespace
}  // namespace tav::devhost

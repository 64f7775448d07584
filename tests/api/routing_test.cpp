#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/path_template.h"
#include "api/percent_decoding.h"
#include "api/route.h"
#include "api/route_registration.h"

using namespace tav;

TEST(PathTemplate, CompilesToExpressionAndParameters) {
    struct Row {
        const char* pathTemplate;
        const char* expression;
        std::vector<PathParameter> parameters;
    };
    const Row rows[] = {
        {"/tav-champ-select/v1/session/trades/{id}/accept",
         "/tav-champ-select/v1/session/trades/([^/]*)/accept",
         {{PathParameterKind::Segment, "id"}}},
        {"/a/{+rest}", "/a/(.*)", {{PathParameterKind::Rest, "rest"}}},
        {"/a{#frag}", "/a#(.*)", {{PathParameterKind::Fragment, "frag"}}},
        {"/v1.0/x", "/v1\\.0/x", {}},
        {"/a+b/{x+}", "/a\\+b/([^/]*)", {{PathParameterKind::Segment, "x+"}}},
        // A stray "}" records a parameter without a capture.
        {"/a}/{b}",
         "/a/([^/]*)",
         {{PathParameterKind::None, ""}, {PathParameterKind::Segment, "b"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pathTemplate);
        std::vector<PathParameter> parameters;
        EXPECT_EQ(compileTemplate(row.pathTemplate, parameters), row.expression);
        EXPECT_EQ(parameters, row.parameters);
    }
}

TEST(PercentDecoding, PlusPercentAndShortTail) {
    const std::pair<const char*, const char*> rows[] = {
        {"x%2Fy+z", "x/y z"}, {"%4", "4"},    {"ab%", "ab"},      {"%41%62", "Ab"},
        {"%zz1", "%zz1"},     {"%%41", "%A"}, {"plain", "plain"},
    };
    for (const auto& [input, expected] : rows) {
        EXPECT_EQ(percentDecode(input), expected) << input;
    }
}

TEST(MatchRoute, FullMatchesWithGreedyDecodedCaptures) {
    struct Row {
        const char* pathTemplate;
        const char* path;
        bool matches;
        ArgumentMap arguments;
    };
    const Row rows[] = {
        {"/a/{id}", "/a/", true, {{"id", ""}}},
        {"/a/{id}", "/a/5/6", false, {}},
        {"/a/{+rest}", "/a/5/6", true, {{"rest", "5/6"}}},
        {"/a/{id}/b", "/a/x%2Fy+z/b", true, {{"id", "x/y z"}}},
        {"/a/{id}/b", "/a//b", true, {{"id", ""}}},
        {"/a/{id}/b", "/a/b", false, {}},
        {"/a/{id}/b", "/a/5/bc", false, {}},
        {"/a/{+rest}/b", "/a//b", true, {{"rest", ""}}},
        {"/a/{id}", "/a/%4", true, {{"id", "4"}}},
        {"/a{#frag}", "/a#top", true, {{"frag", "top"}}},
        {"/a{#frag}", "/atop", false, {}},
        {"/a{#frag}", "/a#", true, {{"frag", ""}}},
        {"/{x}/{y}", "//", true, {{"x", ""}, {"y", ""}}},
        {"/{+x}/{+y}", "/1/2/3", true, {{"x", "1/2"}, {"y", "3"}}},
        {"/{+x}-{y}", "/a-b-c", true, {{"x", "a-b"}, {"y", "c"}}},
        {"/{x}{y}", "/ab", true, {{"x", "ab"}, {"y", ""}}},
        {"/{n}/{n}", "/1/2", true, {{"n", "2"}}},
        {"/a", "/a", true, {}},
        {"/a", "/A", false, {}},
        {"/a", "/a/", false, {}},
        {"/a/{id}", "/a/5?flag", true, {{"id", "5?flag"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.pathTemplate) + " " + row.path);
        const Route route = makeRoute(nullptr, nullptr, row.pathTemplate);
        ArgumentMap arguments;
        EXPECT_EQ(matchRoute(route, row.path, arguments), row.matches);
        if (row.matches) {
            EXPECT_EQ(arguments, row.arguments);
        }
    }
}

TEST(MatchRoute, MegabytePathsAnswerWithoutDeepRecursion) {
    const std::string tail(1 << 20, 'x');
    ArgumentMap arguments;
    EXPECT_TRUE(matchRoute(makeRoute(nullptr, nullptr, "/a/{+rest}"), "/a/" + tail, arguments));
    EXPECT_EQ(arguments["rest"].size(), tail.size());
    EXPECT_TRUE(matchRoute(makeRoute(nullptr, nullptr, "/a/{id}"), "/a/" + tail, arguments));
    EXPECT_FALSE(matchRoute(makeRoute(nullptr, nullptr, "/{+x}/b/{+y}"), "/" + tail, arguments));
}

TEST(FindRoute, MethodCheckAndShortestArgumentsWinEarlierOnATie) {
    RouteRegistration get;
    get.setMethod(2);
    RouteRegistration any;
    RouteRegistration post;
    post.setMethod(6);
    // The last two tie on "/r/x/y".
    const std::vector<Route> routes = {
        makeRoute(nullptr, &get, "/r/{+long}"),
        makeRoute(nullptr, &any, "/r/{a}/{b}"),
        makeRoute(nullptr, &get, "/r/x/{c}"),
        makeRoute(nullptr, &post, "/r/{d}/y"),
    };
    struct Row {
        std::uint32_t method;
        const char* path;
        bool methodCheck;
        const RouteRegistration* chosen;
        ArgumentMap arguments;
    };
    const Row rows[] = {
        {2, "/r/x/y", true, &get, {{"c", "y"}}},  // shortest total wins
        {7, "/r/x/y", true, &any, {{"a", "x"}, {"b", "y"}}},
        {6, "/r/x/y", true, &post, {{"d", "x"}}},
        {6, "/r/x/y", false, &get, {{"c", "y"}}},  // the tie: the earlier stays
        {2, "/r/x/y/z", true, &get, {{"long", "x/y/z"}}},
        {6, "/q", true, nullptr, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        MatchRecord match;
        match.method = row.method;
        match.path = row.path;
        EXPECT_EQ(findRoute(match, routes, row.methodCheck), row.chosen != nullptr);
        EXPECT_EQ(match.registration, row.chosen);
        EXPECT_EQ(match.arguments, row.arguments);
    }
}

TEST(RouteRegistration, SetPathDropsOneTrailingSlash) {
    const std::pair<const char*, const char*> rows[] = {
        {"/a/b/", "/a/b"}, {"/", "/"}, {"/a//", "/a/"}, {"/a", "/a"}};
    for (const auto& [path, stored] : rows) {
        RouteRegistration registration;
        registration.customMethod = "X";
        registration.setPath(path).setMethod(5);
        EXPECT_EQ(registration.path, stored);
        EXPECT_EQ(registration.method, 5u);
        EXPECT_EQ(registration.customMethod, "");
        ASSERT_NE(registration.route, nullptr);
        EXPECT_EQ(registration.route->literalPath, stored);
    }
}

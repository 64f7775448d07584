// The one form of a request's target that every check and route sees: each
// row is a way a client could write a path so that a check sees one path and
// the router another (docs/devhost.md, "What a web page can do to it", #2).
#include "server/request_target.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

TEST(RequestTarget, DecodesOnceResolvesAndRefuses) {
    struct Row {
        const char* target;
        std::optional<std::string> path;  // nullopt: refused
        std::string query = {};
    };
    const std::vector<Row> rows = {
        {"/_dev/state", "/_dev/state"},
        {"/%5Fdev/state", "/_dev/state"},
        {"/%5fdev/state", "/_dev/state"},
        {"/_dev%2Fstate", "/_dev/state"},
        {"//_dev//state", "/_dev/state"},
        {"/_dev/./state", "/_dev/state"},
        {"/x/../_dev/state", "/_dev/state"},
        {"/x/%2e%2E/_dev/state", "/_dev/state"},
        {"/%255Fdev/state", "/%5Fdev/state"},
        {"/_DEV/state", "/_DEV/state"},
        {"/", "/"},
        {"/x/", "/x/"},
        {"/x/.", "/x/"},
        {"/x/y/..", "/x/"},
        {"/x/..", "/"},
        {"/a+b", "/a+b"},
        {"/_dev/state?token=a%2Fb&x", "/_dev/state", "token=a%2Fb&x"},
        {"/%3F?q", "/?", "q"},
        {"/..", std::nullopt},
        {"/x/%2e%2e/%2E%2E/_dev/state", std::nullopt},
        {"/%zz", std::nullopt},
        {"/%2", std::nullopt},
        {"/_dev/state%2", std::nullopt},
        {"/%00", std::nullopt},
        {"/x%0A", std::nullopt},
        {"/x%1F", std::nullopt},
        {"/x%7F", std::nullopt},
        {"/x\x01", std::nullopt},
        {"_dev/state", std::nullopt},
        {"http://127.0.0.1/_dev/state", std::nullopt},
        {"*", std::nullopt},
        {"/x#frag", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.target);
        const std::optional<RequestTarget> target = parseTarget(row.target);
        ASSERT_EQ(target.has_value(), row.path.has_value());
        if (target) {
            EXPECT_EQ(target->path, *row.path);
            EXPECT_EQ(target->query, row.query);
        }
    }
}

// What encodePath writes decodes to the same path, so that a redirect or a
// link names the path that was checked.
TEST(RequestTarget, EncodedPathsParseBack) {
    for (const std::string path : {"/a b/%/?#", "/\xc3\xa9t\xc3\xa9", "/~x-y_z.(1)+:@"}) {
        SCOPED_TRACE(path);
        const std::string encoded = encodePath(path);
        EXPECT_EQ(encoded.find_first_of(" ?#\xc3"), std::string::npos) << encoded;
        const std::optional<RequestTarget> back = parseTarget(encoded);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->path, path);
    }
    EXPECT_EQ(encodePath("/~x-y_z.(1)+:@"), "/~x-y_z.(1)+:@");
}

TEST(RequestTarget, QueryValues) {
    struct Row {
        const char* query;
        std::vector<std::string> tokens;
    };
    const std::vector<Row> rows = {
        {"", {}},
        {"token=abc", {"abc"}},
        {"token=a&token=b", {"a", "b"}},
        {"tok%65n=a+b%2B", {"a b+"}},
        {"token", {""}},
        {"tokens=a&xtoken=b&token=", {""}},
        {"token=%zz", {"%zz"}},
        {"%zz=a&token=b", {"b"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        EXPECT_EQ(queryValues(row.query, "token"), row.tokens);
    }
}

}  // namespace
}  // namespace tav::devhost

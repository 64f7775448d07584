// Which requests a web page can make the tool serve (docs/devhost.md, "What
// a web page can do to it", #3 and #4): each row is an origin or fetch site a
// page could send, judged for an API route and for a control route.
#include "server/origin_policy.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

TEST(OriginPolicy, JudgesEachKindOfRequest) {
    OriginPolicy policy({"http://localhost:5173"});
    policy.setPort(41877);
    enum Served { kNeither, kApiOnly, kBoth };
    struct Row {
        std::optional<std::string> origin;
        std::string fetchSite;
        Served served;
        std::string cors = {};     // for the API route
        std::string refusal = {};  // a piece of the API route's refusal
    };
    const std::vector<Row> rows = {
        // No Origin: served only when no other site sent it.
        {std::nullopt, "", kBoth},
        {std::nullopt, "same-origin", kBoth},
        {std::nullopt, "none", kBoth},
        {std::nullopt, "Same-Origin", kBoth},
        {std::nullopt, "same-site", kNeither, {}, "Sec-Fetch-Site: same-site"},
        {std::nullopt, "cross-site", kNeither, {}, "Sec-Fetch-Site: cross-site"},
        {std::nullopt, "x", kNeither},
        // The tool's own origin, by either name, whatever the fetch site.
        {"http://127.0.0.1:41877", "", kBoth},
        {"http://localhost:41877", "same-origin", kBoth},
        {"HTTP://LocalHost:41877", "cross-site", kBoth},
        // An allowed origin: the API with CORS, never the control routes.
        {"http://localhost:5173", "cross-site", kApiOnly, "http://localhost:5173"},
        {"http://LOCALHOST:5173", "", kApiOnly, "http://localhost:5173"},
        // Near misses of both.
        {"https://localhost:5173", "", kNeither, {}, "--allow-origin https://localhost:5173"},
        {"http://localhost:5173/", "", kNeither},
        {"http://localhost:51730", "", kNeither},
        {"http://127.0.0.1:41878", "", kNeither, {}, "--allow-origin http://127.0.0.1:41878"},
        {"http://127.0.0.1", "", kNeither},
        {"https://127.0.0.1:41877", "", kNeither},
        {"http://localhost:41877.evil.example", "", kNeither},
        {"http://evil.example", "same-origin", kNeither, {}, "--allow-origin http://evil.example"},
        {"null", "", kNeither},
        {"", "", kNeither},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE((row.origin ? *row.origin : "(no origin)") + ", " + row.fetchSite);
        const std::optional<std::string_view> origin(row.origin);
        const OriginVerdict api = policy.judge(origin, row.fetchSite, false);
        const OriginVerdict control = policy.judge(origin, row.fetchSite, true);
        EXPECT_EQ(api.served, row.served != kNeither);
        EXPECT_EQ(control.served, row.served == kBoth);
        EXPECT_EQ(api.corsOrigin, row.cors);
        EXPECT_EQ(control.corsOrigin, "");
        EXPECT_EQ(api.refusal.empty(), api.served);
        EXPECT_EQ(control.refusal.empty(), control.served);
        EXPECT_NE(api.refusal.find(row.refusal), std::string::npos) << api.refusal;
    }
    // What --allow-origin names is an origin, nothing else; "null" and "*"
    // never are.
    EXPECT_EQ(policy.judge("null", "", false).refusal, "Origin null may not use this server");
    EXPECT_EQ(policy.judge("http://localhost:5173", "", true).refusal,
              "The control routes answer only this server's own page, not http://localhost:5173");
}

TEST(OriginPolicy, NormalisesOnlyOrigins) {
    struct Row {
        const char* text;
        std::optional<std::string> origin;
    };
    const std::vector<Row> rows = {
        {"http://localhost:5173", "http://localhost:5173"},
        {"HTTPS://Example.COM", "https://example.com"},
        {"http://[::1]:8080", "http://[::1]:8080"},
        {"http://a.b-c", "http://a.b-c"},
        {"*", std::nullopt},
        {"null", std::nullopt},
        {"ftp://example.com", std::nullopt},
        {"http://", std::nullopt},
        {"http://:80", std::nullopt},
        {"http://example.com/", std::nullopt},
        {"http://example.com:", std::nullopt},
        {"http://example.com:123456", std::nullopt},
        {"http://example.com:8x", std::nullopt},
        {"http://a:1:2", std::nullopt},
        {"http://exa mple.com", std::nullopt},
        {"http://user@example.com", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(normaliseOrigin(row.text), row.origin);
    }
}

}  // namespace
}  // namespace tav::devhost

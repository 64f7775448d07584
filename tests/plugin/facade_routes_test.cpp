// The facade's 19 routes through the real module: called through the
// endpoint table as the host calls them, forwarded to whichever scripted
// implementation is active.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "facade_host.h"
#include "formats/json.h"

using tav::BindingValue;
using tav::testing::boolean;
using tav::testing::FacadeHost;
using tav::testing::json;
using tav::testing::kLegacy;
using tav::testing::kTeamBuilder;
using Strings = std::vector<std::string>;

namespace {

constexpr std::uint32_t GET = TAV_METHOD_GET;
constexpr std::uint32_t POST = TAV_METHOD_POST;
constexpr std::uint32_t PATCH = TAV_METHOD_PATCH;

struct Row {
    std::uint32_t method;
    const char* route;  // a path whose "{id}" is 7 in the calls below
    const char* body;
    const char* answer;   // what the implementation answers, as JSON
    const char* onlyFor;  // the implementation's base URL, when restricted
    const char* restriction;
};

const char* const kPrefix = "/tav-champ-select/v1/";
const Row kRoutes[] = {
    {GET, "session", "", "{}", nullptr, nullptr},
    {GET, "session/trades", "", "[]", nullptr, nullptr},
    {GET, "session/trades/{id}", "", "{}", nullptr, nullptr},
    {POST, "session/trades/{id}/request", "", "{}", nullptr, nullptr},
    {POST, "session/trades/{id}/accept", "", "{}", nullptr, nullptr},
    {POST, "session/trades/{id}/decline", "", "{}", nullptr, nullptr},
    {POST, "session/trades/{id}/cancel", "", "{}", nullptr, nullptr},
    {PATCH, "session/actions/{id}", R"({"championId": 7})", "{}", nullptr, nullptr},
    {POST, "session/actions/{id}/complete", "", "{}", nullptr, nullptr},
    {POST, "session/my-selection/reroll", "", "{}", nullptr, nullptr},
    {POST, "team-boost/purchase", "", "{}", nullptr, nullptr},
    {PATCH, "session/my-selection", R"({"spell1Id": 4})", "{}", nullptr, nullptr},
    {GET, "session/timer", "", "{}", nullptr, nullptr},
    {GET, "pickable-champions", "", "{}", nullptr, nullptr},
    {GET, "bannable-champions", "", "{}", nullptr, nullptr},
    {GET, "disabled-champions", "", "{}", kTeamBuilder,
     "Only team builder champ select sessions provide a disabled champion list"},
    {GET, "pickable-skins", "", "{}", kTeamBuilder,
     "Only team builder champ select sessions provide a pickable skin list"},
    {GET, "team-boost", "", "{}", nullptr, nullptr},
    {POST, "battle-training/launch", "", R"({"launched": true})", kLegacy,
     "Only legacy champ select implements battle training."},
};

// The route's path with 7 for its id.
std::string pathOf(const Row& row) {
    std::string path = row.route;
    if (const std::size_t id = path.find("{id}"); id != std::string::npos) {
        path.replace(id, 4, "7");
    }
    return path;
}

// What the implementation at base is asked: the same path under its base.
std::string forwardedTo(const char* base, const Row& row) {
    const char* method = row.method == GET ? "GET " : row.method == POST ? "POST " : "PATCH ";
    return method + std::string(base) + "v1/" + pathOf(row);
}

FacadeHost::Answer call(FacadeHost& host, const Row& row, const std::string& path) {
    return host.call(row.method, kPrefix + std::string(row.route), kPrefix + path, row.body);
}

}  // namespace

TEST(FacadeRoutes, EveryRouteWithEachImplementationActiveAndWithNone) {
    FacadeHost host;
    for (const char* base : {kLegacy, kTeamBuilder}) {
        for (const Row& row : kRoutes) {
            host.answers.value(std::string(base) + "v1/" + pathOf(row), json(row.answer));
        }
    }
    host.start();
    ASSERT_NE(+host.module.record().endpointTable, nullptr);

    for (const char* active : {static_cast<const char*>(nullptr), kLegacy, kTeamBuilder}) {
        if (active != nullptr) {
            host.setActive(active, boolean(true));
        }
        for (const Row& row : kRoutes) {
            SCOPED_TRACE(std::string(active ? active : "none") + " " + row.route);
            host.takeForwarded();
            const FacadeHost::Answer answer = call(host, row, pathOf(row));
            ASSERT_TRUE(answer.found);
            if (row.onlyFor != nullptr && active != row.onlyFor) {
                EXPECT_EQ(answer.status, 404u);
                EXPECT_EQ(answer.error, row.restriction);
                EXPECT_TRUE(host.takeForwarded().empty());
            } else if (active == nullptr) {
                EXPECT_EQ(answer.status, 404u);
                EXPECT_EQ(answer.error, "No active delegate");
                EXPECT_TRUE(host.takeForwarded().empty());
            } else {
                EXPECT_FALSE(answer.isError) << answer.error;
                EXPECT_EQ(answer.status, 0u);
                EXPECT_EQ(host.takeForwarded(), Strings{forwardedTo(active, row)});
            }
        }
    }
}

TEST(FacadeRoutes, IdsAreConvertedAndForwardedInDecimal) {
    FacadeHost host;
    host.start();
    host.setActive(kLegacy, boolean(true));
    host.takeForwarded();

    const Row& action = kRoutes[7];
    const Row& trade = kRoutes[4];
    call(host, action, "session/actions/18446744073709551615");
    call(host, trade, "session/trades/0x10/accept");
    call(host, trade, "session/trades/-5/accept");
    EXPECT_EQ(host.takeForwarded(),
              (Strings{"PATCH /tav-champ-select-legacy/v1/session/actions/18446744073709551615",
                       "POST /tav-champ-select-legacy/v1/session/trades/16/accept",
                       "POST /tav-champ-select-legacy/v1/session/trades/-5/accept"}));

    // The largest uint64 is no int64; nothing is forwarded for it.
    const FacadeHost::Answer tooBig =
        call(host, trade, "session/trades/18446744073709551615/accept");
    EXPECT_EQ(tooBig.error, "Value 18446744073709551615 for 'id' of type int64 is out of range");
    EXPECT_TRUE(host.takeForwarded().empty());
}

TEST(FacadeRoutes, RecordsAreSentAsTheOneParameter) {
    FacadeHost host;
    host.start();
    host.setActive(kTeamBuilder, boolean(true));
    host.module.host().requests.clear();

    host.answers.value(std::string(kTeamBuilder) + "v1/session/my-selection", BindingValue());
    EXPECT_FALSE(call(host, kRoutes[11], "session/my-selection").isError);
    ASSERT_EQ(host.module.host().requests.size(), 1u);
    const tav::testing::RecordedRequest& sent = host.module.host().requests[0];
    ASSERT_EQ(sent.argumentCount, 1u);
    const BindingValue& selection = sent.arguments.elementAt(0).find("value");
    EXPECT_EQ(selection.size(), 4u);  // every member, absent optionals empty
    EXPECT_EQ(selection.find("spell1Id").asUInt64(), 4u);
    EXPECT_EQ(selection.find("wardSkinId").kind(), tav::BindingValueKind::Empty);

    // Without a body the conversion fails before anything is sent.
    host.module.host().requests.clear();
    const FacadeHost::Answer missing = host.call(PATCH, std::string(kPrefix) + kRoutes[7].route,
                                                 std::string(kPrefix) + "session/actions/3");
    EXPECT_EQ(missing.error, "A value for 'data' is required.");
    EXPECT_TRUE(host.module.host().requests.empty());
}

TEST(FacadeRoutes, ImplementationErrorsAndOddAnswersReachTheCaller) {
    FacadeHost host;
    const std::string base = kTeamBuilder;
    host.answers.error(base + "v1/session/trades/7/accept", 409, "100% busy %1");
    host.answers.value(base + "v1/session/trades", json("{}"));
    host.answers.value(base + "v1/session/timer", BindingValue());
    host.start();
    host.setActive(kTeamBuilder, boolean(true));

    const FacadeHost::Answer conflict = call(host, kRoutes[4], "session/trades/7/accept");
    EXPECT_EQ(conflict.status, 409u);
    EXPECT_EQ(conflict.error,
              "Error response for POST " + base + "v1/session/trades/7/accept: 100% busy %1");

    const FacadeHost::Answer notAList = call(host, kRoutes[1], "session/trades");
    EXPECT_EQ(notAList.status, 0u);
    EXPECT_EQ(notAList.error, "Error converting response for GET " + base +
                                  "v1/session/trades: Couldn't assign value to '<result>' of "
                                  "type vector because the input not a collection.");

    host.answers.value(base + "v1/session/trades", json(R"([null, {"id": 2}])"));
    const FacadeHost::Answer withNull = call(host, kRoutes[1], "session/trades");
    ASSERT_EQ(withNull.value.size(), 2u);
    EXPECT_EQ(tav::writeJson(withNull.value.elementAt(0).find("state")), "\"INVALID\"");

    const FacadeHost::Answer noValue = call(host, kRoutes[12], "session/timer");
    EXPECT_EQ(noValue.status, 0u);
    EXPECT_EQ(noValue.error, "Error converting response for GET " + base +
                                 "v1/session/timer: A value for '<result>' is required.");
}

TEST(FacadeRoutes, BattleTrainingPassesTheAnswerThrough) {
    FacadeHost host;
    host.answers.value(std::string(kLegacy) + "v1/battle-training/launch",
                       json(R"({"anything": [1, "x"]})"));
    host.start();
    host.setActive(kLegacy, boolean(true));
    const FacadeHost::Answer launched = call(host, kRoutes[18], "battle-training/launch");
    EXPECT_EQ(tav::writeJson(launched.value), R"({"anything":[1,"x"]})");

    host.answers.value(std::string(kLegacy) + "v1/battle-training/launch", BindingValue());
    EXPECT_NE(call(host, kRoutes[18], "battle-training/launch")
                  .error.find("A value for '<result>' is required."),
              std::string::npos);
}

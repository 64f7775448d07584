// The facade's 19 routes through the real module: called through the
// endpoint table as the host calls them, forwarded to whichever scripted
// implementation is active. A request's own errors are remote_request_test's;
// this adds what each route's answer type makes of them.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "facade_host.h"
#include "formats/json.h"

using tav::BindingValue;
using tav::testing::FacadeHost;
using tav::testing::json;
using tav::testing::kLegacy;
using tav::testing::kTeamBuilder;
using Strings = std::vector<std::string>;

namespace {

constexpr std::uint32_t GET = TAV_METHOD_GET;
constexpr std::uint32_t POST = TAV_METHOD_POST;
constexpr std::uint32_t PATCH = TAV_METHOD_PATCH;

// What a route answers with: nothing, a record, the list of trade contracts,
// or the implementation's own value passed through.
enum class Returns { Nothing, Record, Trades, PassedOn };

struct Row {
    std::uint32_t method;
    const char* route;  // a path whose "{id}" is 7 in the calls below
    const char* body;
    Returns returns;
    const char* record;   // the record's name, for Returns::Record
    const char* onlyFor;  // the implementation's base URL, when restricted
    const char* restriction;
};

constexpr Returns Nothing = Returns::Nothing;
constexpr Returns Record = Returns::Record;

const char* const kPrefix = "/tav-champ-select/v1/";
const Row kRoutes[] = {
    {GET, "session", "", Record, "ChampSelectSession", nullptr, nullptr},
    {GET, "session/trades", "", Returns::Trades, nullptr, nullptr, nullptr},
    {GET, "session/trades/{id}", "", Record, "ChampSelectTradeContract", nullptr, nullptr},
    {POST, "session/trades/{id}/request", "", Record, "ChampSelectTradeContract", nullptr, nullptr},
    {POST, "session/trades/{id}/accept", "", Nothing, nullptr, nullptr, nullptr},
    {POST, "session/trades/{id}/decline", "", Nothing, nullptr, nullptr, nullptr},
    {POST, "session/trades/{id}/cancel", "", Nothing, nullptr, nullptr, nullptr},
    {PATCH, "session/actions/{id}", R"({"championId": 7})", Nothing, nullptr, nullptr, nullptr},
    {POST, "session/actions/{id}/complete", "", Nothing, nullptr, nullptr, nullptr},
    {POST, "session/my-selection/reroll", "", Nothing, nullptr, nullptr, nullptr},
    {POST, "team-boost/purchase", "", Nothing, nullptr, nullptr, nullptr},
    {PATCH, "session/my-selection", R"({"spell1Id": 4})", Nothing, nullptr, nullptr, nullptr},
    {GET, "session/timer", "", Record, "ChampSelectTimer", nullptr, nullptr},
    {GET, "pickable-champions", "", Record, "ChampSelectPickableChampions", nullptr, nullptr},
    {GET, "bannable-champions", "", Record, "ChampSelectBannableChampions", nullptr, nullptr},
    {GET, "disabled-champions", "", Record, "ChampSelectDisabledChampions", kTeamBuilder,
     "Only team builder champ select sessions provide a disabled champion list"},
    {GET, "pickable-skins", "", Record, "ChampSelectPickableSkins", kTeamBuilder,
     "Only team builder champ select sessions provide a pickable skin list"},
    {GET, "team-boost", "", Record, "TeamBoost", nullptr, nullptr},
    {POST, "battle-training/launch", "", Returns::PassedOn, nullptr, kLegacy,
     "Only legacy champ select implements battle training."},
};

// An answer of the kind the route expects, as JSON.
const char* goodAnswer(const Row& row) {
    switch (row.returns) {
        case Returns::Trades:
            return "[]";
        case Returns::PassedOn:
            return R"({"launched": true})";
        default:
            return "{}";
    }
}

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

// The answer as one line: "STATUS MESSAGE" for an error; for a success "ok"
// and the value's kind, or its JSON when the route passes it on.
std::string outcome(const Row& row, const FacadeHost::Answer& answer) {
    if (answer.isError) {
        return std::to_string(answer.status) + " " + answer.error;
    }
    return "ok " + (row.returns == Returns::PassedOn ? tav::writeJson(answer.value)
                                                     : answer.value.kindName());
}

}  // namespace

TEST(FacadeRoutes, EveryRouteWithEachImplementationActiveAndWithNone) {
    FacadeHost host;
    for (const char* base : {kLegacy, kTeamBuilder}) {
        for (const Row& row : kRoutes) {
            host.answer(std::string(base) + "v1/" + pathOf(row), json(goodAnswer(row)));
        }
    }
    host.start();
    ASSERT_NE(+host.module.record().endpointTable, nullptr);

    for (const char* active : {static_cast<const char*>(nullptr), kLegacy, kTeamBuilder}) {
        if (active != nullptr) {
            host.setActive(active, json("true"));
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

// Whatever the implementation answers, a route reads it only as far as it
// needs: a route answering nothing never looks at the answer, the others
// convert a value or a streamed JSON text alike, and a failed conversion
// reaches the caller with no status. Every stream handed out is closed once,
// read or not.
TEST(FacadeRoutes, EveryAnswerShapeOnEveryRoute) {
    FacadeHost host;
    host.start();
    for (const Row& row : kRoutes) {
        SCOPED_TRACE(row.route);
        const char* base = row.onlyFor != nullptr ? row.onlyFor : kTeamBuilder;
        host.setActive(base, json("true"));
        const std::string url = base + std::string("v1/") + pathOf(row);
        const std::string failed =
            "0 Error converting response for " + forwardedTo(base, row) + ": ";
        const std::string required = failed + "A value for '<result>' is required.";
        const std::string notAList = failed +
                                     "Couldn't assign value to '<result>' of type vector because "
                                     "the input not a collection.";
        const char* wrongKind = row.returns == Returns::Trades ? "{}" : "[7]";

        std::string noValue, ofWrongKind, streamed;
        switch (row.returns) {
            case Returns::Nothing:
                noValue = ofWrongKind = streamed = "ok empty";
                break;
            case Returns::Record:
                noValue = required;
                ofWrongKind = failed +
                              "Couldn't assign value to '<result>' of type TavChampSelect" +
                              row.record + " because the input not a structure.";
                streamed = "ok structure";
                break;
            case Returns::Trades:
                noValue = ofWrongKind = notAList;  // an empty answer is no list either
                streamed = "ok collection";
                break;
            case Returns::PassedOn:
                noValue = required;
                ofWrongKind = "ok [7]";
                streamed = R"(ok {"launched":true})";
                break;
        }

        host.answer(url, BindingValue());
        EXPECT_EQ(outcome(row, call(host, row, pathOf(row))), noValue);
        host.answer(url, json(wrongKind));
        EXPECT_EQ(outcome(row, call(host, row, pathOf(row))), ofWrongKind);
        host.answerStream(url, goodAnswer(row));
        EXPECT_EQ(outcome(row, call(host, row, pathOf(row))), streamed);
        // An error answer's stream is never read, but closed all the same.
        host.answerStream(url, goodAnswer(row), 409);
        EXPECT_EQ(outcome(row, call(host, row, pathOf(row))),
                  "409 Error response for " + forwardedTo(base, row) + ": Refused");
        EXPECT_EQ(host.badStreams(), 0);
    }
}

// What a route sends: its id in decimal, its record as the one parameter;
// and what comes back: the records' defaults (a null trade is INVALID, a
// player without a ward skin has -1).
TEST(FacadeRoutes, IdsRecordsAndDefaults) {
    FacadeHost host;
    const std::string base = kTeamBuilder;
    host.answer(base + "v1/session/trades", json(R"([null, {"id": 2}])"));
    host.answer(base + "v1/session", json(R"({"myTeam": [{"cellId": 3}]})"));
    host.answer(base + "v1/session/my-selection", BindingValue());
    host.start();
    host.setActive(kTeamBuilder, json("true"));
    host.takeForwarded();

    const Row& action = kRoutes[7];
    const Row& trade = kRoutes[4];
    call(host, action, "session/actions/18446744073709551615");
    call(host, trade, "session/trades/0x10/accept");
    call(host, trade, "session/trades/-5/accept");
    EXPECT_EQ(host.takeForwarded(),
              (Strings{"PATCH " + base + "v1/session/actions/18446744073709551615",
                       "POST " + base + "v1/session/trades/16/accept",
                       "POST " + base + "v1/session/trades/-5/accept"}));
    // The largest uint64 is no int64; nothing is forwarded for it.
    EXPECT_EQ(call(host, trade, "session/trades/18446744073709551615/accept").error,
              "Value 18446744073709551615 for 'id' of type int64 is out of range");
    // Without a body the conversion fails before anything is sent.
    EXPECT_EQ(host.call(PATCH, kPrefix + std::string(action.route),
                        kPrefix + std::string("session/actions/3"))
                  .error,
              "A value for 'data' is required.");
    EXPECT_TRUE(host.takeForwarded().empty());

    EXPECT_FALSE(call(host, kRoutes[11], "session/my-selection").isError);
    ASSERT_EQ(host.module.host().requests.size(), 1u);
    const tav::testing::RecordedRequest& sent = host.module.host().requests[0];
    ASSERT_EQ(sent.argumentCount, 1u);
    const BindingValue& selection = sent.arguments.elementAt(0).find("value");
    EXPECT_EQ(selection.size(), 4u);  // every member, absent optionals empty
    EXPECT_EQ(selection.find("spell1Id").asUInt64(), 4u);
    EXPECT_EQ(selection.find("wardSkinId").kind(), tav::BindingValueKind::Empty);

    const FacadeHost::Answer withNull = call(host, kRoutes[1], "session/trades");
    ASSERT_EQ(withNull.value.size(), 2u);
    EXPECT_EQ(tav::writeJson(withNull.value.elementAt(0).find("state")), "\"INVALID\"");
    const FacadeHost::Answer session = call(host, kRoutes[0], "session");
    EXPECT_EQ(session.value.find("myTeam").elementAt(0).find("wardSkinId").asInt64(), -1);
}

// The facade's events through the real module: which implementation is
// active, and the mirroring of its four resources. Listeners' own rules are
// resource_events_test's; this adds the facade's records and its delegate.
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

// Which implementation the module mirrors: a team-boost update from each.
std::string activeSide(FacadeHost& host) {
    host.takePublished();
    host.deliver(kLegacy, "v1/team-boost", "Update", json("{}"));
    if (!host.takePublished().empty()) {
        return "legacy";
    }
    host.deliver(kTeamBuilder, "v1/team-boost", "Update", json("{}"));
    return host.takePublished().empty() ? "none" : "team-builder";
}

const std::string kWarnTeamBuilder =
    "1 TeamBuilder implementation became active while Legacy was still active";
const std::string kWarnLegacy =
    "1 Legacy implementation became active while TeamBuilder was still active";

}  // namespace

TEST(FacadeDelegate, TransitionsFollowTheLastImplementationToReportTrue) {
    struct Step {
        const char* base;
        const char* type;
        BindingValue payload;
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        std::string active;
        Strings log;
    };
    const Row rows[] = {
        {"legacy", {{kLegacy, "Create", json("true")}}, "legacy", {}},
        {"legacy twice",
         {{kLegacy, "Update", json("true")}, {kLegacy, "Update", json("true")}},
         "legacy",
         {}},
        {"team builder takes over",
         {{kLegacy, "Update", json("true")}, {kTeamBuilder, "Update", json("true")}},
         "team-builder",
         {kWarnTeamBuilder}},
        {"legacy takes over",
         {{kTeamBuilder, "Update", json("true")}, {kLegacy, "Update", json("true")}},
         "legacy",
         {kWarnLegacy}},
        {"the inactive one reporting false changes nothing",
         {{kLegacy, "Update", json("true")},
          {kTeamBuilder, "Update", json("true")},
          {kLegacy, "Update", json("false")}},
         "team-builder",
         {kWarnTeamBuilder}},
        {"the active one reporting false",
         {{kTeamBuilder, "Update", json("true")}, {kTeamBuilder, "Update", json("false")}},
         "none",
         {}},
        {"texts count as bools",
         {{kLegacy, "Update", json(R"("true")")}, {kTeamBuilder, "Update", json(R"("0")")}},
         "legacy",
         {}},
        {"text false",
         {{kLegacy, "Update", json(R"("1")")}, {kLegacy, "Update", json(R"("false")")}},
         "none",
         {}},
        {"a number is not a bool",
         {{kLegacy, "Update", json("true")}, {kLegacy, "Update", json("0")}},
         "legacy",
         {}},
        {"delete of the active one",
         {{kLegacy, "Update", json("true")}, {kLegacy, "Delete", {}}},
         "none",
         {}},
        {"delete of the inactive one",
         {{kLegacy, "Update", json("true")}, {kTeamBuilder, "Delete", {}}},
         "legacy",
         {}},
    };
    FacadeHost host;
    host.start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(activeSide(host), "none");
        host.takeLog();
        for (const Step& step : row.steps) {
            host.deliver(step.base, "v1/implementation-active", step.type, step.payload);
        }
        EXPECT_EQ(host.takeLog(), row.log);
        EXPECT_EQ(activeSide(host), row.active);
        host.setActive(kLegacy, json("false"));
        host.setActive(kTeamBuilder, json("false"));
    }
}

// Every event of each mirrored resource, from each implementation, with each
// (or none) active: only the active one's is published, under the facade's
// URI with its type unchanged and the data as the facade's record (members it
// does not describe dropped, missing ones at their defaults; a Delete carries
// the default record whatever came with it). The session also writes a line.
TEST(FacadeMirroring, TheActiveImplementationsEventsAreRepublishedAsTheFacadesRecords) {
    struct Resource {
        std::string name;
        const char* payload;
        std::string converted;
        std::string deleted;
    };
    const Resource resources[] = {
        {"session",
         R"({"localPlayerCellId": 4, "timer": {"phase": "BAN_PICK"},
             "trades": [{"id": 1, "state": "SENT"}], "x": 1})",
         R"({"actions":[],"allowBattleBoost":false,"allowRerolling":false,)"
         R"("allowSkinSelection":true,"bans":{"myTeamBans":[],"numBans":0,"theirTeamBans":[]},)"
         R"("chatDetails":{"chatRoomName":"","chatRoomPassword":null},"isSpectating":false,)"
         R"("localPlayerCellId":4,"myTeam":[],"rerollsRemaining":0,"theirTeam":[],)"
         R"("timer":{"adjustedTimeLeftInPhase":0,"adjustedTimeLeftInPhaseInSec":0,)"
         R"("internalNowInEpochMs":0,"isInfinite":false,"phase":"BAN_PICK","timeLeftInPhase":0,)"
         R"("timeLeftInPhaseInSec":0,"totalTimeInPhase":0},)"
         R"("trades":[{"cellId":0,"id":1,"state":"SENT"}]})",
         R"({"actions":[],"allowBattleBoost":false,"allowRerolling":false,)"
         R"("allowSkinSelection":true,"bans":{"myTeamBans":[],"numBans":0,"theirTeamBans":[]},)"
         R"("chatDetails":{"chatRoomName":"","chatRoomPassword":null},"isSpectating":false,)"
         R"("localPlayerCellId":-1,"myTeam":[],"rerollsRemaining":0,"theirTeam":[],)"
         R"("timer":{"adjustedTimeLeftInPhase":0,"adjustedTimeLeftInPhaseInSec":0,)"
         R"("internalNowInEpochMs":0,"isInfinite":false,"phase":"","timeLeftInPhase":0,)"
         R"("timeLeftInPhaseInSec":0,"totalTimeInPhase":0},"trades":[]})"},
        {"pickable-champions", R"({"championIds": [1, 2], "x": 1})", R"({"championIds":[1,2]})",
         R"({"championIds":[]})"},
        {"bannable-champions", R"({"championIds": [3], "x": 1})", R"({"championIds":[3]})",
         R"({"championIds":[]})"},
        {"team-boost", R"({"skinUnlockMode": "x", "price": 5, "extra": 1})",
         R"({"availableSkins":[],"ipReward":0,"ipRewardForPurchaser":0,"price":5,)"
         R"("skinUnlockMode":"x","summonerName":"","unlocked":false})",
         R"({"availableSkins":[],"ipReward":0,"ipRewardForPurchaser":0,"price":0,)"
         R"("skinUnlockMode":"","summonerName":"","unlocked":false})"},
    };
    const std::pair<std::string, const char*> implementations[] = {{"legacy", kLegacy},
                                                                   {"team-builder", kTeamBuilder}};
    const std::string types[] = {"Create", "Update", "Delete"};
    FacadeHost host;
    host.start();
    for (const std::string active : {"none", "legacy", "team-builder"}) {
        if (active != "none") {
            host.setActive(kLegacy, json("true"));
        }
        if (active == "team-builder") {
            host.setActive(kTeamBuilder, json("true"));  // a switch publishes nothing
        }
        EXPECT_EQ(host.takePublished(true), Strings{}) << active;
        host.takeLog();

        for (const Resource& resource : resources) {
            const std::string path = "v1/" + resource.name;
            const std::string uri = "/tav-champ-select/" + path;
            for (const std::string& type : types) {
                for (const auto& [owner, base] : implementations) {
                    SCOPED_TRACE(type + " of the " + owner + " " + resource.name +
                                 ", active: " + active);
                    host.deliver(base, path, type.c_str(), json(resource.payload));
                    Strings published;
                    Strings log;
                    if (owner == active) {
                        const std::string& data =
                            type == "Delete" ? resource.deleted : resource.converted;
                        const std::string event = '"' + type + "\" " + uri + " " + data;
                        published = {
                            "OnJsonApiEvent_tav-champ-select_v1_" + resource.name + " " + event,
                            "OnJsonApiEvent " + event};
                        if (resource.name == "session") {
                            log = {type == "Update"   ? "0 /tav-champ-select/v1/session: " + data
                                   : type == "Create" ? "3 Creating champ select session."
                                                      : "3 Deleting champ select session."};
                        }
                    }
                    EXPECT_EQ(host.takePublished(true), published);
                    EXPECT_EQ(host.takeLog(), log);
                }
            }
        }
    }
    host.module.shutdown();
    EXPECT_EQ(host.takePublished(true), Strings{});
}

TEST(FacadeMirroring, AnImplementationActiveAtInitIsMirroredBeforeInitReturns) {
    FacadeHost host;
    host.answer(std::string(kLegacy) + "v1/implementation-active", json("true"));
    host.answer(std::string(kLegacy) + "v1/session", json(R"({"localPlayerCellId": 2})"));
    host.answer(std::string(kTeamBuilder) + "v1/session", json("{}"));
    host.start();
    EXPECT_EQ(host.takePublished(),
              (Strings{"OnJsonApiEvent_tav-champ-select_v1_session \"Create\" "
                       "/tav-champ-select/v1/session",
                       "OnJsonApiEvent \"Create\" /tav-champ-select/v1/session"}));
    EXPECT_EQ(host.takeLog(), Strings{"3 Creating champ select session."});
    EXPECT_EQ(activeSide(host), "legacy");
}

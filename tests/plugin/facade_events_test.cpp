// The facade's events through the real module: which implementation is
// active, and the mirroring of its four resources.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "facade_host.h"

using tav::BindingValue;
using tav::testing::boolean;
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
        {"legacy", {{kLegacy, "Create", boolean(true)}}, "legacy", {}},
        {"legacy twice",
         {{kLegacy, "Update", boolean(true)}, {kLegacy, "Update", boolean(true)}},
         "legacy",
         {}},
        {"team builder takes over",
         {{kLegacy, "Update", boolean(true)}, {kTeamBuilder, "Update", boolean(true)}},
         "team-builder",
         {kWarnTeamBuilder}},
        {"legacy takes over",
         {{kTeamBuilder, "Update", boolean(true)}, {kLegacy, "Update", boolean(true)}},
         "legacy",
         {kWarnLegacy}},
        {"the inactive one reporting false changes nothing",
         {{kLegacy, "Update", boolean(true)},
          {kTeamBuilder, "Update", boolean(true)},
          {kLegacy, "Update", boolean(false)}},
         "team-builder",
         {kWarnTeamBuilder}},
        {"the active one reporting false",
         {{kTeamBuilder, "Update", boolean(true)}, {kTeamBuilder, "Update", boolean(false)}},
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
         {{kLegacy, "Update", boolean(true)}, {kLegacy, "Update", json("0")}},
         "legacy",
         {}},
        {"delete of the active one",
         {{kLegacy, "Update", boolean(true)}, {kLegacy, "Delete", {}}},
         "none",
         {}},
        {"delete of the inactive one",
         {{kLegacy, "Update", boolean(true)}, {kTeamBuilder, "Delete", {}}},
         "legacy",
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FacadeHost host;
        host.start();
        EXPECT_EQ(activeSide(host), "none");
        host.takeLog();
        for (const Step& step : row.steps) {
            host.deliver(step.base, "v1/implementation-active", step.type, step.payload);
        }
        EXPECT_EQ(host.takeLog(), row.log);
        EXPECT_EQ(activeSide(host), row.active);
    }
}

TEST(FacadeMirroring, EachResourceOfTheActiveImplementationIsRepublished) {
    FacadeHost host;
    host.start();
    host.setActive(kTeamBuilder, boolean(true));
    for (const char* resource : {"pickable-champions", "bannable-champions", "team-boost"}) {
        SCOPED_TRACE(resource);
        const std::string path = std::string("v1/") + resource;
        host.deliver(kLegacy, path, "Update", json("{}"));  // not the active one
        EXPECT_TRUE(host.takePublished().empty());
        host.deliver(kTeamBuilder, path, "Update", json("{}"));
        const std::string uri = "/tav-champ-select/" + path;
        EXPECT_EQ(host.takePublished(), (Strings{"OnJsonApiEvent_tav-champ-select_v1_" +
                                                     std::string(resource) + " \"Update\" " + uri,
                                                 "OnJsonApiEvent \"Update\" " + uri}));
    }
    EXPECT_TRUE(host.takeLog().empty());
}

TEST(FacadeMirroring, SessionEventsAreLoggedAndRepublished) {
    FacadeHost host;
    host.start();
    host.setActive(kLegacy, boolean(true));
    host.takeLog();
    const std::string published = " /tav-champ-select/v1/session";

    host.deliver(kLegacy, "v1/session", "Create", json(R"({"localPlayerCellId": 3})"));
    EXPECT_EQ(host.takeLog(), Strings{"3 Creating champ select session."});
    EXPECT_EQ(host.takePublished(),
              (Strings{"OnJsonApiEvent_tav-champ-select_v1_session \"Create\"" + published,
                       "OnJsonApiEvent \"Create\"" + published}));

    host.deliver(kLegacy, "v1/session", "Update",
                 json(R"({"localPlayerCellId": 4, "timer": {"phase": "BAN_PICK"}, "x": 1})"));
    const Strings log = host.takeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].starts_with("0 /tav-champ-select/v1/session: {")) << log[0];
    EXPECT_NE(log[0].find("\"localPlayerCellId\":4"), std::string::npos) << log[0];
    EXPECT_EQ(log[0].find("\"x\""), std::string::npos) << log[0];
    EXPECT_EQ(host.takePublished().size(), 2u);

    // A Delete carries the default session, whatever came with it.
    host.deliver(kLegacy, "v1/session", "Delete", json(R"({"localPlayerCellId": 4})"));
    EXPECT_EQ(host.takeLog(), Strings{"3 Deleting champ select session."});
    const tav::testing::RecordedEvent& deleted = host.module.host().published.at(0);
    const BindingValue& data = deleted.payload.find("data");
    EXPECT_EQ(data.find("localPlayerCellId").asInt64(), -1);
    EXPECT_TRUE(data.find("allowSkinSelection").asBool());
    host.takePublished();

    // The team builder's session is ignored while legacy is active, and a
    // switch publishes nothing.
    host.deliver(kTeamBuilder, "v1/session", "Update", json("{}"));
    host.setActive(kTeamBuilder, boolean(true));
    EXPECT_TRUE(host.takePublished().empty());
    host.takeLog();

    host.module.shutdown();
    EXPECT_TRUE(host.takePublished().empty());
}

TEST(FacadeMirroring, TeamBoostKeepsItsRecordShape) {
    FacadeHost host;
    host.start();
    host.setActive(kLegacy, boolean(true));
    host.takePublished();
    host.deliver(kLegacy, "v1/team-boost", "Update",
                 json(R"({"skinUnlockMode": "x", "extra": 1})"));
    ASSERT_EQ(host.module.host().published.size(), 2u);
    const BindingValue& data = host.module.host().published[0].payload.find("data");
    EXPECT_EQ(data.size(), 7u);
    EXPECT_EQ(data.tryFind("extra"), nullptr);
    EXPECT_EQ(data.find("skinUnlockMode").asString(), "x");
}

TEST(FacadeMirroring, AnImplementationActiveAtInitIsMirroredBeforeInitReturns) {
    FacadeHost host;
    host.answers.value(std::string(kLegacy) + "v1/implementation-active", boolean(true));
    host.answers.value(std::string(kLegacy) + "v1/session", json(R"({"localPlayerCellId": 2})"));
    host.answers.value(std::string(kTeamBuilder) + "v1/session", json("{}"));
    host.start();
    EXPECT_EQ(host.takePublished(),
              (Strings{"OnJsonApiEvent_tav-champ-select_v1_session \"Create\" "
                       "/tav-champ-select/v1/session",
                       "OnJsonApiEvent \"Create\" /tav-champ-select/v1/session"}));
    EXPECT_EQ(host.takeLog(), Strings{"3 Creating champ select session."});
    EXPECT_EQ(activeSide(host), "legacy");
}

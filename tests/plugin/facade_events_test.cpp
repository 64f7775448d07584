// Which implementation the facade follows, through the real module: the two
// implementation-active resources and the warning when one takes over. The
// mirroring of the four resources (each event type, from either side, the
// inactive side's dropped, the session's lines) is the golden traces'.
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
        const char* payload;  // JSON, or null for a Delete
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        std::string active;
        Strings log;
    };
    const Step legacy{kLegacy, "true"};
    const Step teamBuilder{kTeamBuilder, "true"};
    const Row rows[] = {
        {"legacy", {legacy}, "legacy", {}},
        {"legacy twice", {legacy, legacy}, "legacy", {}},
        {"team builder takes over", {legacy, teamBuilder}, "team-builder", {kWarnTeamBuilder}},
        {"legacy takes over", {teamBuilder, legacy}, "legacy", {kWarnLegacy}},
        {"the inactive one reporting false changes nothing",
         {legacy, teamBuilder, {kLegacy, "false"}},
         "team-builder",
         {kWarnTeamBuilder}},
        {"the active one reporting false", {teamBuilder, {kTeamBuilder, "false"}}, "none", {}},
        {"delete of the active one", {legacy, {kLegacy, nullptr}}, "none", {}},
        {"delete of the inactive one", {legacy, {kTeamBuilder, nullptr}}, "legacy", {}},
    };
    FacadeHost host;
    host.start();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(activeSide(host), "none");
        host.takeLog();
        for (const Step& step : row.steps) {
            host.deliver(step.base, "v1/implementation-active",
                         step.payload != nullptr ? "Update" : "Delete",
                         step.payload != nullptr ? json(step.payload) : BindingValue());
        }
        EXPECT_EQ(host.takeLog(), row.log);
        EXPECT_EQ(activeSide(host), row.active);
        host.setActive(kLegacy, json("false"));
        host.setActive(kTeamBuilder, json("false"));
    }
}

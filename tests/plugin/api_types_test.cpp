// The facade's records: registered under the plugin's prefix, and converted
// member by member. Their defaults are the mirroring test's (a Delete
// publishes them); the type ids are the registry's tests'.
#include "plugin/api_types.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/type_registry.h"
#include "binding_test_support.h"
#include "formats/json.h"

namespace {

using namespace tav;
using namespace tav::testing;
using namespace Kelvo::Client::ChampSelect::Api;

const std::vector<std::string> kLabels = {"Plugins", "Plugin tav-champ-select"};

class ApiTypes : public ::testing::Test {
protected:
    ApiTypes() {
        registry.reset();
        RegisterApiTypes(registry, "TavChampSelect", kLabels);
    }

    BindingTypeRegistry registry;
};

// Fourteen types after the fifteen built-ins; a second registration changes
// nothing, its labels included.
TEST_F(ApiTypes, RegistersFourteenPrefixedTypesOnce) {
    const std::vector<const BindingTypeDescriptor*> types = registry.snapshotTypes();
    ASSERT_EQ(types.size(), 15u + 14u);
    std::vector<std::size_t> fieldCounts;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const BindingTypeDescriptor& d = *types[i];
        fieldCounts.push_back(d.fields.size());
        if (i < 15) {
            continue;
        }
        SCOPED_TRACE(d.name);
        EXPECT_TRUE(d.name.starts_with("TavChampSelect"));
        EXPECT_EQ(d.tags, kLabels);
        EXPECT_EQ(registry.find(*d.staticType), &d);
        EXPECT_EQ(d.isEnum, d.name == "TavChampSelectChampSelectTradeState");
    }
    // Optional members are told apart from plain ones by their type.
    const BindingTypeDescriptor& my = *registry.findByName("TavChampSelectChampSelectMySelection");
    EXPECT_EQ(my.fields[0].staticType, &staticTypeInfo<std::optional<std::int32_t>>());
    EXPECT_TRUE(my.fields[0].optional);

    RegisterApiTypes(registry, "TavChampSelect", {"Other"});
    EXPECT_EQ(registry.snapshotTypes(), types);
    for (std::size_t i = 0; i < types.size(); ++i) {
        EXPECT_EQ(types[i]->fields.size(), fieldCounts[i]) << types[i]->name;
    }
    EXPECT_EQ(registry.findByName("TavChampSelectTeamBoost")->tags, kLabels);
}

// Enumerators by their exact name or number only; the selection's members
// present only when given, texts read as numbers.
TEST_F(ApiTypes, TradeStateAndMySelectionConvert) {
    const std::string invalid =
        " is not a valid TavChampSelectChampSelectTradeState enumeration value for 'x'.";
    const std::string none = "selectedSkinId: empty, spell1Id: empty, spell2Id: empty, ";
    struct Row {
        std::string (*convert)(const BindingValue&, const BindingTypeRegistry&, std::string_view);
        const char* json;
        std::string expected;
    };
    const Row rows[] = {
        {&convertAs<ChampSelectTradeState>, R"("SENT")", gives("enum 5")},
        {&convertAs<ChampSelectTradeState>, "2", gives("enum 2")},
        {&convertAs<ChampSelectTradeState>, R"("sent")", fails("sent" + invalid)},
        {&convertAs<ChampSelectTradeState>, "0", fails("0" + invalid)},
        {&convertAs<ChampSelectMySelection>, R"({"selectedSkinId": 5})",
         gives("{selectedSkinId: signed 5, spell1Id: empty, spell2Id: empty, wardSkinId: empty}")},
        {&convertAs<ChampSelectMySelection>, R"({"selectedSkinId": "5"})",
         gives("{selectedSkinId: signed 5, spell1Id: empty, spell2Id: empty, wardSkinId: empty}")},
        {&convertAs<ChampSelectMySelection>, R"({"selectedSkinId": "abc"})",
         fails("Value abc for 'selectedSkinId' of type int32 is in an incorrect format")},
        {&convertAs<ChampSelectMySelection>, R"({"spell1Id": "-1"})",
         fails("Value -1 for 'spell1Id' of type uint64 is out of range")},
        {&convertAs<ChampSelectMySelection>, R"({"wardSkinId": "0x10", "spell2Id": null})",
         gives("{" + none + "wardSkinId: signed 16}")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_EQ(row.convert(readJson(row.json).value, registry, "x"), row.expected);
    }
}

// Every member comes back as it went in; actions are passed through, lists
// of lists of objects and empty elements alike. A player without a ward skin
// has -1.
TEST_F(ApiTypes, SessionRoundTrip) {
    const char* player =
        R"({"assignedPosition":"middle","cellId":3,"championId":103,"championPickIntent":0,)"
        R"("displayName":"Ahri main","playerType":"PLAYER","selectedSkinId":103001,"spell1Id":4,)"
        R"("spell2Id":14,"summonerId":18446744073709551615,"team":1,"wardSkinId":-1})";
    const std::string session =
        R"({"actions":[[{"id":1,"type":"ban"},{"completed":true,"id":2}],[{"id":3},null],null,[]],)"
        R"("allowBattleBoost":true,"allowRerolling":true,"allowSkinSelection":false,)"
        R"("bans":{"myTeamBans":[1,2],"numBans":6,"theirTeamBans":[]},)"
        R"("chatDetails":{"chatRoomName":"room","chatRoomPassword":"pw"},"isSpectating":true,)"
        R"("localPlayerCellId":3,"myTeam":[)" +
        std::string(player) + "," + player + R"(],"rerollsRemaining":2,"theirTeam":[)" + player +
        R"(],"timer":{"adjustedTimeLeftInPhase":28000,"adjustedTimeLeftInPhaseInSec":28,)"
        R"("internalNowInEpochMs":1700000000000,"isInfinite":false,"phase":"BAN_PICK",)"
        R"("timeLeftInPhase":29000,"timeLeftInPhaseInSec":29,"totalTimeInPhase":30000},)"
        R"("trades":[{"cellId":6,"id":1,"state":"SENT"}]})";
    ChampSelectSession native;
    ASSERT_TRUE(fromValue(native, readJson(session).value, "<result>", registry).ok);
    EXPECT_EQ(writeJson(toValue(native, registry).value, &registry), session);

    ASSERT_TRUE(
        fromValue(native, readJson(R"({"myTeam": [{"cellId": 3}]})").value, "<result>", registry)
            .ok);
    EXPECT_EQ(native.myTeam.at(0).wardSkinId, -1);
}

}  // namespace

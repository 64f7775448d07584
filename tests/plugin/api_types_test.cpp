#include "plugin/api_types.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/type_registry.h"
#include "binding_test_support.h"

namespace {

using namespace tav;
using namespace tav::testing;
using namespace Kelvo::Client::ChampSelect::Api;

const std::vector<std::string> kLabels = {"Plugins", "Plugin tav-champ-select"};
constexpr std::size_t kBuiltinCount = 15;
constexpr std::size_t kApiTypeCount = 14;

class ApiTypes : public ::testing::Test {
protected:
    ApiTypes() {
        registry.reset();
        RegisterApiTypes(registry, "TavChampSelect", kLabels);
    }

    BindingTypeRegistry registry;
};

// Field lists, kinds and offsets are the records' own descriptions; the
// round trips below prove them.
TEST_F(ApiTypes, RegistersFourteenPrefixedTypesAfterTheBuiltins) {
    const std::vector<const BindingTypeDescriptor*> types = registry.snapshotTypes();
    ASSERT_EQ(types.size(), kBuiltinCount + kApiTypeCount);
    for (std::size_t i = kBuiltinCount; i < types.size(); ++i) {
        const BindingTypeDescriptor& d = *types[i];
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
}

// Enumerators by their exact name or number only.
TEST_F(ApiTypes, TradeStateConvertsByNameOrNumber) {
    const std::string invalid =
        " is not a valid TavChampSelectChampSelectTradeState enumeration value for 'x'.";
    EXPECT_EQ(convertAs<ChampSelectTradeState>(text("SENT"), registry), gives("enum 5"));
    EXPECT_EQ(convertAs<ChampSelectTradeState>(sgn(2), registry), gives("enum 2"));
    EXPECT_EQ(convertAs<ChampSelectTradeState>(text("sent"), registry), fails("sent" + invalid));
    EXPECT_EQ(convertAs<ChampSelectTradeState>(sgn(0), registry), fails("0" + invalid));
}

// Distinct ids for the records, the enum, the list and optional member types
// and the built-ins; never the reserved one.
TEST_F(ApiTypes, StaticTypeIdsAreDistinct) {
    std::vector<const StaticTypeInfo*> infos = {
        &staticTypeInfo<std::vector<std::int32_t>>(),
        &staticTypeInfo<std::vector<std::int64_t>>(),
        &staticTypeInfo<std::vector<ChampSelectPlayerSelection>>(),
        &staticTypeInfo<std::vector<ChampSelectTradeContract>>(),
        &staticTypeInfo<std::vector<BindingValue>>(),
        &staticTypeInfo<std::optional<std::int32_t>>(),
        &staticTypeInfo<std::optional<std::uint64_t>>(),
        &staticTypeInfo<std::optional<std::int64_t>>(),
        &staticTypeInfo<std::optional<std::string>>(),
    };
    for (const BindingTypeDescriptor* d : registry.snapshotTypes()) {
        infos.push_back(d->staticType);
    }
    std::vector<std::uint32_t> ids;
    for (const StaticTypeInfo* info : infos) {
        EXPECT_NE(info->id, kReservedTypeId) << info->name;
        ids.push_back(info->id);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());

    const StaticTypeInfo& session = staticTypeInfo<ChampSelectSession>();
    EXPECT_NE(std::strstr(session.name, "Kelvo::Client::ChampSelect::Api::ChampSelectSession"),
              nullptr)
        << session.name;
    EXPECT_EQ(session.text[0], '\0');
}

TEST_F(ApiTypes, SecondRegistrationChangesNothing) {
    const std::vector<const BindingTypeDescriptor*> before = registry.snapshotTypes();
    std::vector<std::size_t> fieldCounts;
    for (const BindingTypeDescriptor* d : before) {
        fieldCounts.push_back(d->fields.size());
    }
    RegisterApiTypes(registry, "TavChampSelect", {"Other"});
    EXPECT_EQ(registry.snapshotTypes(), before);
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i]->fields.size(), fieldCounts[i]) << before[i]->name;
    }
    EXPECT_EQ(registry.findByName("TavChampSelectTeamBoost")->tags, kLabels);
}

TEST_F(ApiTypes, MySelectionMembersArePresentOnlyWhenGiven) {
    ChampSelectMySelection selection;
    ASSERT_EQ(messageOf(fromValue(selection, object({{"selectedSkinId", sgn(5)}}), "selection",
                                  registry)),
              "ok");
    EXPECT_EQ(selection.selectedSkinId, 5);
    EXPECT_FALSE(selection.spell1Id.has_value());
    EXPECT_FALSE(selection.spell2Id.has_value());
    EXPECT_FALSE(selection.wardSkinId.has_value());
    EXPECT_EQ(dump(toValue(selection, registry).value),
              "{selectedSkinId: signed 5, spell1Id: empty, spell2Id: empty, wardSkinId: empty}");

    const std::vector<std::pair<BindingValue, std::string>> cases = {
        {object({{"selectedSkinId", text("5")}}), gives("{selectedSkinId: signed 5, spell1Id: "
                                                        "empty, spell2Id: empty, wardSkinId: "
                                                        "empty}")},
        {object({{"selectedSkinId", text("abc")}}),
         fails("Value abc for 'selectedSkinId' of type int32 is in an incorrect format")},
        {object({{"spell1Id", text("-1")}}),
         fails("Value -1 for 'spell1Id' of type uint64 is out of range")},
        {object({{"wardSkinId", text("0x10")}, {"spell2Id", none()}}),
         gives("{selectedSkinId: empty, spell1Id: empty, spell2Id: empty, wardSkinId: signed "
               "16}")},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(dump(input));
        EXPECT_EQ(convertAs<ChampSelectMySelection>(input, registry, "selection"), expected);
    }
}

BindingValue action(std::int64_t id, const char* type) {
    return object({{"id", sgn(id)},
                   {"actorCellId", sgn(id % 10)},
                   {"championId", sgn(100 + id)},
                   {"type", text(type)},
                   {"completed", boolean(id % 2 == 0)}});
}

// Every member comes back as it went in; actions are passed through, lists
// of lists of objects and empty elements alike.
TEST_F(ApiTypes, FullSessionRoundTrip) {
    const BindingValue player = object({
        {"cellId", sgn(3)},
        {"displayName", text("Ahri main")},
        {"championId", sgn(103)},
        {"selectedSkinId", sgn(103001)},
        {"wardSkinId", sgn(-1)},
        {"spell1Id", uns(4)},
        {"spell2Id", uns(14)},
        {"team", sgn(1)},
        {"assignedPosition", text("middle")},
        {"championPickIntent", sgn(0)},
        {"playerType", text("PLAYER")},
        {"summonerId", uns(18446744073709551615u)},
    });
    const BindingValue input = object({
        {"timer", object({{"timeLeftInPhase", sgn(29000)},
                          {"adjustedTimeLeftInPhase", sgn(28000)},
                          {"timeLeftInPhaseInSec", sgn(29)},
                          {"adjustedTimeLeftInPhaseInSec", sgn(28)},
                          {"totalTimeInPhase", sgn(30000)},
                          {"phase", text("BAN_PICK")},
                          {"isInfinite", boolean(false)},
                          {"internalNowInEpochMs", uns(1700000000000)}})},
        {"chatDetails", object({{"chatRoomName", text("room")}, {"chatRoomPassword", text("pw")}})},
        {"myTeam", list({player, player})},
        {"theirTeam", list({player})},
        {"trades", list({object({{"id", sgn(1)},
                                 {"cellId", sgn(6)},
                                 {"state", enumOf(ChampSelectTradeState::SENT)}})})},
        {"actions", list({list({action(1, "ban"), action(2, "ban")}),
                          list({action(3, "pick"), none()}), none(), list({})})},
        {"bans", object({{"myTeamBans", list({sgn(1), sgn(2)})},
                         {"theirTeamBans", list({})},
                         {"numBans", sgn(6)}})},
        {"localPlayerCellId", sgn(3)},
        {"isSpectating", boolean(true)},
        {"allowSkinSelection", boolean(false)},
        {"allowBattleBoost", boolean(true)},
        {"allowRerolling", boolean(true)},
        {"rerollsRemaining", uns(2)},
    });
    EXPECT_EQ(convertAs<ChampSelectSession>(input, registry), gives(dump(input)));
}

// Members missing from the input keep the records' defaults.
TEST_F(ApiTypes, DefaultsSurviveMissingMembers) {
    EXPECT_EQ(convertAs<ChampSelectSession>(object({}), registry),
              gives("{actions: [], allowBattleBoost: false, allowRerolling: false, "
                    "allowSkinSelection: true, bans: {myTeamBans: [], numBans: signed 0, "
                    "theirTeamBans: []}, chatDetails: {chatRoomName: string \"\", "
                    "chatRoomPassword: empty}, isSpectating: false, localPlayerCellId: signed "
                    "-1, myTeam: [], rerollsRemaining: unsigned 0, theirTeam: [], timer: "
                    "{adjustedTimeLeftInPhase: signed 0, adjustedTimeLeftInPhaseInSec: signed 0, "
                    "internalNowInEpochMs: unsigned 0, isInfinite: false, phase: string \"\", "
                    "timeLeftInPhase: signed 0, timeLeftInPhaseInSec: signed 0, "
                    "totalTimeInPhase: signed 0}, trades: []}"));

    ChampSelectSession session;
    ASSERT_EQ(messageOf(fromValue(session,
                                  object({{"myTeam", list({object({{"cellId", sgn(3)}})})},
                                          {"trades", list({object({{"id", sgn(1)}})})}}),
                                  "<result>", registry)),
              "ok");
    EXPECT_EQ(session.myTeam.at(0).wardSkinId, -1);
    EXPECT_EQ(session.trades.at(0).state, ChampSelectTradeState::INVALID);
    const BindingResult trade = toValue(session.trades[0], registry);
    EXPECT_EQ(convertAs<std::string>(trade.value.find("state"), registry),
              gives("string \"INVALID\""));
}

}  // namespace

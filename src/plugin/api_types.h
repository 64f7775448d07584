// The champ-select API records: the payloads of the facade's endpoints, of
// the resources it mirrors and of the requests it forwards. One set serves
// both implementations, since they serve the same shapes. Member names are the
// wire names and are described in declaration order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "binding/record_description.h"

namespace tav {
class BindingTypeRegistry;
}

namespace Kelvo::Client::ChampSelect::Api {

using tav::BindingDescribe;
using tav::field;
using tav::record;

struct ChampSelectPlayerSelection {
    std::int64_t cellId = 0;
    std::string displayName;
    std::int32_t championId = 0;
    std::int32_t selectedSkinId = 0;
    std::int64_t wardSkinId = -1;
    std::uint64_t spell1Id = 0;
    std::uint64_t spell2Id = 0;
    std::int32_t team = 0;
    std::string assignedPosition;
    std::int32_t championPickIntent = 0;
    std::string playerType;
    std::uint64_t summonerId = 0;
};

// A partial update of the local player's selection: absent members are not
// changed.
struct ChampSelectMySelection {
    std::optional<std::int32_t> selectedSkinId;
    std::optional<std::uint64_t> spell1Id;
    std::optional<std::uint64_t> spell2Id;
    std::optional<std::int64_t> wardSkinId;
};

struct ChampSelectTimer {
    std::int64_t timeLeftInPhase = 0;
    std::int64_t adjustedTimeLeftInPhase = 0;
    std::int32_t timeLeftInPhaseInSec = 0;
    std::int32_t adjustedTimeLeftInPhaseInSec = 0;
    std::int64_t totalTimeInPhase = 0;
    std::string phase;
    bool isInfinite = false;
    std::uint64_t internalNowInEpochMs = 0;
};

struct ChampSelectChatRoomDetails {
    std::string chatRoomName;
    std::optional<std::string> chatRoomPassword;
};

enum class ChampSelectTradeState : std::int32_t {
    AVAILABLE = 1,
    BUSY = 2,
    INVALID = 3,
    RECEIVED = 4,
    SENT = 5,
};

struct ChampSelectTradeContract {
    std::int64_t id = 0;
    std::int64_t cellId = 0;
    ChampSelectTradeState state = ChampSelectTradeState::INVALID;
};

struct ChampSelectAction {
    std::int64_t id = 0;
    std::int64_t actorCellId = 0;
    std::int32_t championId = 0;
    std::string type;
    bool completed = false;
};

struct ChampSelectBannedChampions {
    std::vector<std::int32_t> myTeamBans;
    std::vector<std::int32_t> theirTeamBans;
    std::int32_t numBans = 0;
};

struct ChampSelectSession {
    ChampSelectTimer timer;
    ChampSelectChatRoomDetails chatDetails;
    std::vector<ChampSelectPlayerSelection> myTeam;
    std::vector<ChampSelectPlayerSelection> theirTeam;
    std::vector<ChampSelectTradeContract> trades;
    // Passed through unchanged: the facade does not interpret actions.
    std::vector<tav::BindingValue> actions;
    ChampSelectBannedChampions bans;
    std::int64_t localPlayerCellId = -1;
    bool isSpectating = false;
    bool allowSkinSelection = true;
    bool allowBattleBoost = false;
    bool allowRerolling = false;
    std::uint32_t rerollsRemaining = 0;
};

struct ChampSelectPickableChampions {
    std::vector<std::int32_t> championIds;
};

struct ChampSelectBannableChampions {
    std::vector<std::int32_t> championIds;
};

struct ChampSelectDisabledChampions {
    std::vector<std::int32_t> championIds;
};

struct ChampSelectPickableSkins {
    std::vector<std::int32_t> skinIds;
};

struct TeamBoost {
    std::string summonerName;
    std::string skinUnlockMode;
    std::int64_t price = 0;
    std::int64_t ipReward = 0;
    std::int64_t ipRewardForPurchaser = 0;
    std::vector<std::int64_t> availableSkins;
    bool unlocked = false;
};

constexpr auto describe(BindingDescribe<ChampSelectPlayerSelection>) {
    using T = ChampSelectPlayerSelection;
    return record(field("cellId", &T::cellId), field("displayName", &T::displayName),
                  field("championId", &T::championId), field("selectedSkinId", &T::selectedSkinId),
                  field("wardSkinId", &T::wardSkinId), field("spell1Id", &T::spell1Id),
                  field("spell2Id", &T::spell2Id), field("team", &T::team),
                  field("assignedPosition", &T::assignedPosition),
                  field("championPickIntent", &T::championPickIntent),
                  field("playerType", &T::playerType), field("summonerId", &T::summonerId));
}

constexpr auto describe(BindingDescribe<ChampSelectMySelection>) {
    using T = ChampSelectMySelection;
    return record(field("selectedSkinId", &T::selectedSkinId), field("spell1Id", &T::spell1Id),
                  field("spell2Id", &T::spell2Id), field("wardSkinId", &T::wardSkinId));
}

constexpr auto describe(BindingDescribe<ChampSelectTimer>) {
    using T = ChampSelectTimer;
    return record(field("timeLeftInPhase", &T::timeLeftInPhase),
                  field("adjustedTimeLeftInPhase", &T::adjustedTimeLeftInPhase),
                  field("timeLeftInPhaseInSec", &T::timeLeftInPhaseInSec),
                  field("adjustedTimeLeftInPhaseInSec", &T::adjustedTimeLeftInPhaseInSec),
                  field("totalTimeInPhase", &T::totalTimeInPhase), field("phase", &T::phase),
                  field("isInfinite", &T::isInfinite),
                  field("internalNowInEpochMs", &T::internalNowInEpochMs));
}

constexpr auto describe(BindingDescribe<ChampSelectChatRoomDetails>) {
    using T = ChampSelectChatRoomDetails;
    return record(field("chatRoomName", &T::chatRoomName),
                  field("chatRoomPassword", &T::chatRoomPassword));
}

constexpr auto describe(BindingDescribe<ChampSelectTradeState>) {
    using S = ChampSelectTradeState;
    return tav::enumeration<S>({{"AVAILABLE", S::AVAILABLE},
                                {"BUSY", S::BUSY},
                                {"INVALID", S::INVALID},
                                {"RECEIVED", S::RECEIVED},
                                {"SENT", S::SENT}});
}

constexpr auto describe(BindingDescribe<ChampSelectTradeContract>) {
    using T = ChampSelectTradeContract;
    return record(field("id", &T::id), field("cellId", &T::cellId), field("state", &T::state));
}

constexpr auto describe(BindingDescribe<ChampSelectAction>) {
    using T = ChampSelectAction;
    return record(field("id", &T::id), field("actorCellId", &T::actorCellId),
                  field("championId", &T::championId), field("type", &T::type),
                  field("completed", &T::completed));
}

constexpr auto describe(BindingDescribe<ChampSelectBannedChampions>) {
    using T = ChampSelectBannedChampions;
    return record(field("myTeamBans", &T::myTeamBans), field("theirTeamBans", &T::theirTeamBans),
                  field("numBans", &T::numBans));
}

constexpr auto describe(BindingDescribe<ChampSelectSession>) {
    using T = ChampSelectSession;
    return record(field("timer", &T::timer), field("chatDetails", &T::chatDetails),
                  field("myTeam", &T::myTeam), field("theirTeam", &T::theirTeam),
                  field("trades", &T::trades), field("actions", &T::actions),
                  field("bans", &T::bans), field("localPlayerCellId", &T::localPlayerCellId),
                  field("isSpectating", &T::isSpectating),
                  field("allowSkinSelection", &T::allowSkinSelection),
                  field("allowBattleBoost", &T::allowBattleBoost),
                  field("allowRerolling", &T::allowRerolling),
                  field("rerollsRemaining", &T::rerollsRemaining));
}

constexpr auto describe(BindingDescribe<ChampSelectPickableChampions>) {
    return record(field("championIds", &ChampSelectPickableChampions::championIds));
}

constexpr auto describe(BindingDescribe<ChampSelectBannableChampions>) {
    return record(field("championIds", &ChampSelectBannableChampions::championIds));
}

constexpr auto describe(BindingDescribe<ChampSelectDisabledChampions>) {
    return record(field("championIds", &ChampSelectDisabledChampions::championIds));
}

constexpr auto describe(BindingDescribe<ChampSelectPickableSkins>) {
    return record(field("skinIds", &ChampSelectPickableSkins::skinIds));
}

constexpr auto describe(BindingDescribe<TeamBoost>) {
    using T = TeamBoost;
    return record(field("summonerName", &T::summonerName),
                  field("skinUnlockMode", &T::skinUnlockMode), field("price", &T::price),
                  field("ipReward", &T::ipReward),
                  field("ipRewardForPurchaser", &T::ipRewardForPurchaser),
                  field("availableSkins", &T::availableSkins), field("unlocked", &T::unlocked));
}

// Registers the 14 types, member types first, each under prefix + its short
// name and tagged with labels. A second registration changes nothing.
void RegisterApiTypes(tav::BindingTypeRegistry& registry, std::string_view prefix,
                      const std::vector<std::string>& labels);

}  // namespace Kelvo::Client::ChampSelect::Api

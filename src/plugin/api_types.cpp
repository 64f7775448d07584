#include "plugin/api_types.h"

#include <string>

#include "binding/type_registry.h"

namespace Kelvo::Client::ChampSelect::Api {
namespace {

template <class T>
void registerType(tav::BindingTypeRegistry& registry, std::string_view prefix,
                  std::string_view shortName, const std::vector<std::string>& labels) {
    std::string name(prefix);
    name += shortName;
    if constexpr (std::is_enum_v<T>) {
        tav::registerEnum<T>(registry, {name, labels});
    } else {
        tav::registerRecord<T>(registry, {name, labels});
    }
}

}  // namespace

void RegisterApiTypes(tav::BindingTypeRegistry& registry, std::string_view prefix,
                      const std::vector<std::string>& labels) {
    registerType<ChampSelectPlayerSelection>(registry, prefix, "ChampSelectPlayerSelection",
                                             labels);
    registerType<ChampSelectMySelection>(registry, prefix, "ChampSelectMySelection", labels);
    registerType<ChampSelectTimer>(registry, prefix, "ChampSelectTimer", labels);
    registerType<ChampSelectChatRoomDetails>(registry, prefix, "ChampSelectChatRoomDetails",
                                             labels);
    registerType<ChampSelectTradeState>(registry, prefix, "ChampSelectTradeState", labels);
    registerType<ChampSelectTradeContract>(registry, prefix, "ChampSelectTradeContract", labels);
    registerType<ChampSelectAction>(registry, prefix, "ChampSelectAction", labels);
    registerType<ChampSelectBannedChampions>(registry, prefix, "ChampSelectBannedChampions",
                                             labels);
    registerType<ChampSelectSession>(registry, prefix, "ChampSelectSession", labels);
    registerType<ChampSelectPickableChampions>(registry, prefix, "ChampSelectPickableChampions",
                                               labels);
    registerType<ChampSelectBannableChampions>(registry, prefix, "ChampSelectBannableChampions",
                                               labels);
    registerType<ChampSelectDisabledChampions>(registry, prefix, "ChampSelectDisabledChampions",
                                               labels);
    registerType<ChampSelectPickableSkins>(registry, prefix, "ChampSelectPickableSkins", labels);
    registerType<TeamBoost>(registry, prefix, "TeamBoost", labels);
}

}  // namespace Kelvo::Client::ChampSelect::Api

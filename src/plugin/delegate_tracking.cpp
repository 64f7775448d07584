// Which champ-select implementation is active, from their two
// "v1/implementation-active" resources, and where requests go because of it.
#include "log/log_manager.h"
#include "log/log_record.h"
#include "plugin/champ_select_plugin.h"

namespace Kelvo::Client::ChampSelect {

const char* ChampSelectPlugin::baseUrl(ActiveDelegate delegate) {
    switch (delegate) {
        case ActiveDelegate::Legacy:
            return "/tav-champ-select-legacy/";
        case ActiveDelegate::TeamBuilder:
            return "/tav-lobby-team-builder/champ-select/";
        default:
            return nullptr;
    }
}

tav::RequestOutcome<std::string> ChampSelectPlugin::ResolveDelegateUrl(
    std::string_view relativePath) const {
    const char* base = baseUrl(activeDelegate());  // read once
    if (base == nullptr) {
        return tav::StructuredError(0, "No active delegate");
    }
    return std::string(base).append(relativePath);
}

void ChampSelectPlugin::OnLegacyImplementationActive(const tav::ResourceEvent<bool>& event) {
    onImplementationActive(ActiveDelegate::Legacy, event.data);
}

void ChampSelectPlugin::OnTeamBuilderImplementationActive(const tav::ResourceEvent<bool>& event) {
    onImplementationActive(ActiveDelegate::TeamBuilder, event.data);
}

// The event type is not looked at: a Delete arrives with false.
void ChampSelectPlugin::onImplementationActive(ActiveDelegate self, bool active) {
    const auto selfValue = static_cast<std::int32_t>(self);
    const ActiveDelegate current = activeDelegate();  // read once per decision
    if (!active) {
        if (current == self) {
            activeDelegate_.store(static_cast<std::int32_t>(ActiveDelegate::None),
                                  std::memory_order_relaxed);
        }
        return;
    }
    const ActiveDelegate other =
        self == ActiveDelegate::Legacy ? ActiveDelegate::TeamBuilder : ActiveDelegate::Legacy;
    if (current == other) {
        tav::Log(tav::LogLevel::Warn, 1, 0, "%s",
                 self == ActiveDelegate::Legacy
                     ? "Legacy implementation became active while TeamBuilder was still active"
                     : "TeamBuilder implementation became active while Legacy was still active");
    }
    activeDelegate_.store(selfValue, std::memory_order_relaxed);
}

}  // namespace Kelvo::Client::ChampSelect

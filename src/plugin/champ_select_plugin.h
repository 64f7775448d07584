// The champ-select plugin object: the framework's plugin with one field of
// its own (which champ-select implementation is active) and the hooks that
// register its types and routes and subscribe to the implementations.
#pragma once

#include <cstdint>

#include "framework/plugin_base.h"

namespace Kelvo::Client::ChampSelect {

enum class ActiveDelegate : std::int32_t {
    None = 0,
    Legacy = 1,
    TeamBuilder = 2,
};

class ChampSelectPlugin : public tav::PluginBase {
public:
    static constexpr const char* kShortName = "tav-champ-select";

    ChampSelectPlugin() = default;
    ~ChampSelectPlugin() override = default;

    void Shutdown() override;
    void RegisterEndpoints() override;
    bool OnInitialize() override;

    ActiveDelegate activeDelegate() const { return activeDelegate_; }

private:
    void RegisterRoutes();
    void SubscribeToDelegates();

    ActiveDelegate activeDelegate_ = ActiveDelegate::None;
};

}  // namespace Kelvo::Client::ChampSelect

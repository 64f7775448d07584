// The facade's 19 routes: each checks whether the active implementation may
// answer, builds that implementation's URL, forwards the request and answers
// with what came back, converted to the facade's records.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "api/api_object.h"
#include "api/endpoint_handler.h"
#include "api/method_names.h"
#include "api/route_registration.h"
#include "framework/remote_request.h"
#include "plugin/champ_select_plugin.h"

namespace Kelvo::Client::ChampSelect {

using namespace Api;
using tav::HandlerAnswer;
using tav::HandlerError;
using tav::MethodCode;
using Nothing = std::monostate;

// The routes only some implementations serve, and what the others answer.
struct Restriction {
    ActiveDelegate allowed;
    const char* message;
};

struct RouteParameter {
    const char* name;
    tav::ArgumentLocation location;
};

namespace {

constexpr Restriction kDisabledChampionsRestriction{
    ActiveDelegate::TeamBuilder,
    "Only team builder champ select sessions provide a disabled champion list"};
constexpr Restriction kPickableSkinsRestriction{
    ActiveDelegate::TeamBuilder,
    "Only team builder champ select sessions provide a pickable skin list"};
constexpr Restriction kBattleTrainingRestriction{
    ActiveDelegate::Legacy, "Only legacy champ select implements battle training."};

// "%1" of a forwarded path replaced by the id in decimal.
template <class Id>
std::string withId(std::string_view path, Id id) {
    std::string out(path);
    out.replace(out.find("%1"), 2, std::to_string(id));
    return out;
}

HandlerError failed(const tav::StructuredError& error) {
    return HandlerError{static_cast<std::uint32_t>(error.code()), std::string(error.message())};
}

// The type of a parameter or answer, as the function description gives it.
template <class T>
tav::BindingTypeRef typeRef(const tav::BindingTypeRegistry& registry) {
    tav::BindingTypeRef ref;
    if constexpr (std::is_same_v<T, std::int64_t>) {
        ref.kind = tav::BindingTypeKind::Int64;
    } else if constexpr (std::is_same_v<T, std::uint64_t>) {
        ref.kind = tav::BindingTypeKind::UInt64;
    } else if constexpr (std::is_same_v<T, Nothing> || std::is_same_v<T, tav::BindingValue>) {
        ref.kind = tav::BindingTypeKind::Object;
    } else if constexpr (tav::BindingRecordType<T>) {
        ref.kind = tav::BindingTypeKind::Struct;
        ref.descriptor = registry.find(tav::staticTypeInfo<T>());
    } else {  // the list of trade contracts
        ref.kind = tav::BindingTypeKind::Vector;
        ref.elementKind = tav::BindingTypeKind::Struct;
        ref.descriptor = registry.find(tav::staticTypeInfo<typename T::value_type>());
    }
    return ref;
}

}  // namespace

// Sends method to the active implementation's path and reads its answer as
// R (nothing, a value passed through, a record or the list).
template <class R>
HandlerAnswer<R> ChampSelectPlugin::forward(MethodCode method, std::string_view relativePath,
                                            const Restriction* restriction) {
    if (restriction != nullptr && activeDelegate() != restriction->allowed) {
        return HandlerError{404, restriction->message};
    }
    tav::RequestOutcome<std::string> url = ResolveDelegateUrl(relativePath);
    if (!url) {
        return HandlerError{404, tav::errorText(url.error())};
    }
    if constexpr (std::is_same_v<R, Nothing>) {
        tav::ResponseRecord response;
        if (tav::RequestOutcome<void> sent =
                tav::sendRaw(*this, method, url.value(), nullptr, response);
            !sent) {
            return failed(sent.error());
        }
        return Nothing{};
    } else {
        // The trade list answers "not a collection" for no value as for any
        // other answer that is not a list.
        constexpr tav::NoValueRule noValue =
            std::is_same_v<R, std::vector<ChampSelectTradeContract>> ? tav::NoValueRule::OwnRule
                                                                     : tav::NoValueRule::Missing;
        tav::RequestOutcome<R> answer = tav::request<R>(*this, method, url.value(), noValue);
        if (!answer) {
            return failed(answer.error());
        }
        return std::move(answer).value();
    }
}

// Sends method with record as the request's one parameter; no answer.
template <class P>
HandlerAnswer<Nothing> ChampSelectPlugin::forwardWith(MethodCode method,
                                                      std::string_view relativePath,
                                                      const P& record) {
    tav::RequestOutcome<std::string> url = ResolveDelegateUrl(relativePath);
    if (!url) {
        return HandlerError{404, tav::errorText(url.error())};
    }
    if (tav::RequestOutcome<void> sent =
            tav::requestWithParameters(*this, method, url.value(), record);
        !sent) {
        return failed(sent.error());
    }
    return Nothing{};
}

// Describes the function of method and path, registers it and binds fn, a
// callable over the native parameters Args answering R.
template <class R, class... Args, class Fn>
void ChampSelectPlugin::route(MethodCode method, const char* path,
                              std::initializer_list<RouteParameter> parameters, Fn fn) {
    tav::BindingTypeRegistry& types = registry();
    const std::string name = tav::functionName(tav::methodName(method), path);
    tav::BindingFunctionDescriptor& function = types.registerFunction(name, sizeof...(Args));
    function.tags = labels();
    function.returns = typeRef<R>(types);
    function.registry = &types;
    std::size_t i = 0;
    ((function.arguments[i].name = parameters.begin()[i].name,
      function.arguments[i].type = typeRef<Args>(types), ++i),
     ...);

    tav::RouteRegistration& registration = api().registerRoute(function);
    registration.setPath(path);
    registration.setMethod(static_cast<std::uint32_t>(method));
    registration.handler = tav::makeEndpointHandler<Args...>(function, std::move(fn));
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        registration.locations[p] = parameters.begin()[p].location;
    }
}

void ChampSelectPlugin::RegisterRoutes() {
    using tav::ArgumentLocation;
    using Trades = std::vector<ChampSelectTradeContract>;
    constexpr MethodCode Get = MethodCode::Get;
    constexpr MethodCode Post = MethodCode::Post;
    constexpr MethodCode Patch = MethodCode::Patch;
    const RouteParameter id{"id", ArgumentLocation::Path};

    route<ChampSelectSession>(Get, "/tav-champ-select/v1/session", {},
                              [this] { return forward<ChampSelectSession>(Get, "v1/session"); });
    route<Trades>(Get, "/tav-champ-select/v1/session/trades", {},
                  [this] { return forward<Trades>(Get, "v1/session/trades"); });
    route<ChampSelectTradeContract, std::int64_t>(
        Get, "/tav-champ-select/v1/session/trades/{id}", {id}, [this](std::int64_t tradeId) {
            return forward<ChampSelectTradeContract>(Get, withId("v1/session/trades/%1", tradeId));
        });
    route<ChampSelectTradeContract, std::int64_t>(
        Post, "/tav-champ-select/v1/session/trades/{id}/request", {id},
        [this](std::int64_t tradeId) {
            return forward<ChampSelectTradeContract>(
                Post, withId("v1/session/trades/%1/request", tradeId));
        });
    for (const char* verb : {"accept", "decline", "cancel"}) {
        const std::string path = std::string("/tav-champ-select/v1/session/trades/{id}/") + verb;
        const std::string forwarded = std::string("v1/session/trades/%1/") + verb;
        route<Nothing, std::int64_t>(Post, path.c_str(), {id},
                                     [this, forwarded](std::int64_t tradeId) {
                                         return forward<Nothing>(Post, withId(forwarded, tradeId));
                                     });
    }
    route<Nothing, std::uint64_t, ChampSelectAction>(
        Patch, "/tav-champ-select/v1/session/actions/{id}", {id, {"data", ArgumentLocation::Body}},
        [this](std::uint64_t actionId, const ChampSelectAction& data) {
            return forwardWith(Patch, withId("v1/session/actions/%1", actionId), data);
        });
    route<Nothing, std::int64_t>(Post, "/tav-champ-select/v1/session/actions/{id}/complete", {id},
                                 [this](std::int64_t actionId) {
                                     return forward<Nothing>(
                                         Post, withId("v1/session/actions/%1/complete", actionId));
                                 });
    route<Nothing>(Post, "/tav-champ-select/v1/session/my-selection/reroll", {},
                   [this] { return forward<Nothing>(Post, "v1/session/my-selection/reroll"); });
    route<Nothing>(Post, "/tav-champ-select/v1/team-boost/purchase", {},
                   [this] { return forward<Nothing>(Post, "v1/team-boost/purchase"); });
    route<Nothing, ChampSelectMySelection>(
        Patch, "/tav-champ-select/v1/session/my-selection", {{"selection", ArgumentLocation::Body}},
        [this](const ChampSelectMySelection& selection) {
            return forwardWith(Patch, "v1/session/my-selection", selection);
        });
    route<ChampSelectTimer>(Get, "/tav-champ-select/v1/session/timer", {},
                            [this] { return forward<ChampSelectTimer>(Get, "v1/session/timer"); });
    route<ChampSelectPickableChampions>(Get, "/tav-champ-select/v1/pickable-champions", {}, [this] {
        return forward<ChampSelectPickableChampions>(Get, "v1/pickable-champions");
    });
    route<ChampSelectBannableChampions>(Get, "/tav-champ-select/v1/bannable-champions", {}, [this] {
        return forward<ChampSelectBannableChampions>(Get, "v1/bannable-champions");
    });
    route<ChampSelectDisabledChampions>(Get, "/tav-champ-select/v1/disabled-champions", {}, [this] {
        return forward<ChampSelectDisabledChampions>(Get, "v1/disabled-champions",
                                                     &kDisabledChampionsRestriction);
    });
    route<ChampSelectPickableSkins>(Get, "/tav-champ-select/v1/pickable-skins", {}, [this] {
        return forward<ChampSelectPickableSkins>(Get, "v1/pickable-skins",
                                                 &kPickableSkinsRestriction);
    });
    route<TeamBoost>(Get, "/tav-champ-select/v1/team-boost", {},
                     [this] { return forward<TeamBoost>(Get, "v1/team-boost"); });
    route<tav::BindingValue>(Post, "/tav-champ-select/v1/battle-training/launch", {}, [this] {
        return forward<tav::BindingValue>(Post, "v1/battle-training/launch",
                                          &kBattleTrainingRestriction);
    });
}

}  // namespace Kelvo::Client::ChampSelect

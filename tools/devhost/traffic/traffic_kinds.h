// The kinds of crossing the traffic log records, one row each: the name an
// entry carries in "kind" and the members a trace's entry of that kind must
// have, from which the log names its entries and a trace's reader checks
// them. A new kind is a row here, its builder and reader in
// traffic_fields.h, its branch in the trace schema and its row on the page.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "binding/binding_value.h"

namespace tav::devhost {

enum class TrafficKind { Api, HostRequest, EventIn, EventOut, Subscription, Log, Module };

struct TrafficKindRow {
    TrafficKind kind;
    std::string_view name;
    // Required members; "request.url" is a member "url" of the member
    // "request". Top-level ones first; unused places empty.
    std::array<std::string_view, 5> members;
};

// In TrafficKind's order.
inline constexpr std::array<TrafficKindRow, 7> kTrafficKinds = {{
    {TrafficKind::Api, "api", {"path", "request", "answer", "request.method", "request.target"}},
    {TrafficKind::HostRequest, "host-request", {"request", "answer", "request.url"}},
    {TrafficKind::EventIn, "event-in", {"name", "payload"}},
    {TrafficKind::EventOut, "event-out", {"name", "payload"}},
    {TrafficKind::Subscription, "subscription", {"action", "name"}},
    {TrafficKind::Log, "log", {"level", "message"}},
    {TrafficKind::Module, "module", {"action"}},
}};

std::string_view trafficKindName(TrafficKind kind);
std::optional<TrafficKind> trafficKindNamed(std::string_view name);

// What an entry of kind lacks ("a log entry needs \"message\""), or empty.
std::string missingTrafficMembers(TrafficKind kind, const BindingValue& entry);

}  // namespace tav::devhost

// The types and the event every registry carries for the framework itself:
// the states of an asynchronous operation, the generic and asynchronous event
// payloads and the payload of a callback invocation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "binding/record_description.h"

namespace tav {

class BindingTypeRegistry;

enum class BindingAsyncState : std::int32_t {
    None = 0,
    Running = 1,
    Cancelling = 2,
    Cancelled = 3,
    Succeeded = 4,
    Failed = 5,
};

struct BindingGenericEvent {
    BindingValue data;
};

struct BindingCallbackEvent {
    std::uint32_t id = 0;
    std::vector<BindingValue> parameters;
};

struct BindingGenericAsyncEvent {
    std::uint32_t asyncToken = 0;
    BindingValue data;
};

struct BindingAsyncFailureEvent {
    std::uint32_t asyncToken = 0;
    std::string error;
};

struct BindingAsyncCancelEvent {
    std::uint32_t asyncToken = 0;
};

constexpr auto describe(BindingDescribe<BindingAsyncState>) {
    using S = BindingAsyncState;
    return enumeration<S>(
        {{"None", S::None, "Invalid state"},
         {"Running", S::Running, "The operation is in flight"},
         {"Cancelling", S::Cancelling, "A request to cancel the operation has been made"},
         {"Cancelled", S::Cancelled, "The operation was cancelled"},
         {"Succeeded", S::Succeeded, "The operation completed successfully"},
         {"Failed", S::Failed, "The operation encountered an error"}});
}

constexpr auto describe(BindingDescribe<BindingGenericEvent>) {
    return record(field("data", &BindingGenericEvent::data).describedAs("Event data"));
}

constexpr auto describe(BindingDescribe<BindingCallbackEvent>) {
    using E = BindingCallbackEvent;
    return record(field("id", &E::id).describedAs("ID of the callback being invoked"),
                  field("parameters", &E::parameters).describedAs("Callback parameters"));
}

constexpr auto describe(BindingDescribe<BindingGenericAsyncEvent>) {
    using E = BindingGenericAsyncEvent;
    return record(field("asyncToken", &E::asyncToken).describedAs("Asynchronous operation token"),
                  field("data", &E::data).describedAs("Event data"));
}

constexpr auto describe(BindingDescribe<BindingAsyncFailureEvent>) {
    using E = BindingAsyncFailureEvent;
    return record(field("asyncToken", &E::asyncToken).describedAs("Asynchronous operation token"),
                  field("error", &E::error).describedAs("Error message"));
}

constexpr auto describe(BindingDescribe<BindingAsyncCancelEvent>) {
    using E = BindingAsyncCancelEvent;
    return record(field("asyncToken", &E::asyncToken).describedAs("Asynchronous operation token"));
}

}  // namespace tav

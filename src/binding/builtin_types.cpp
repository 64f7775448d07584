#include "binding/builtin_types.h"

#include "binding/help_types.h"
#include "binding/type_registry.h"

namespace tav {
namespace {

const std::vector<std::string>& builtinTags() {
    static const std::vector<std::string> tags{"$builtin"};
    return tags;
}

const std::vector<std::string>& asyncTags() {
    static const std::vector<std::string> tags{"$builtin", "async"};
    return tags;
}

const std::vector<std::string>& helpTags() {
    static const std::vector<std::string> tags{"$builtin", "help"};
    return tags;
}

void registerHelpTypes(BindingTypeRegistry& registry) {
    registerEnum<BindingHelpFormat>(registry, {"BindingHelpFormat", helpTags(),
                                               "Help format for binding functions and types."});
    registerRecord<BindingFullTypeIdentifier>(
        registry, {"BindingFullTypeIdentifier", helpTags(), "Describes the type of a value."});
    registerRecord<BindingFullArgumentHelp>(
        registry, {"BindingFullArgumentHelp", helpTags(), "Describes a function parameter."});
    registerRecord<BindingFullFunctionHelp>(
        registry, {"BindingFullFunctionHelp", helpTags(), "Describes a function."});
    registerRecord<BindingFullEnumValueHelp>(
        registry, {"BindingFullEnumValueHelp", helpTags(), "Describes an enumerator."});
    registerRecord<BindingFullFieldHelp>(
        registry, {"BindingFullFieldHelp", helpTags(), "Describes a member of a struct."});
    registerRecord<BindingFullTypeHelp>(
        registry, {"BindingFullTypeHelp", helpTags(), "Describes a struct or enum type."});
    registerRecord<BindingFullEventHelp>(
        registry, {"BindingFullEventHelp", helpTags(), "Describes an event."});
    registerRecord<BindingFullApiHelp>(
        registry, {"BindingFullApiHelp", helpTags(), "Describes the exposed native API."});
}

}  // namespace

void registerBuiltins(BindingTypeRegistry& registry) {
    registerHelpTypes(registry);
    registerEnum<BindingAsyncState>(registry, {"BindingAsyncState", asyncTags(),
                                               "Possible states of an asynchronous operation."});
    registerRecord<BindingGenericEvent>(
        registry, {"BindingGenericEvent", builtinTags(), "Represents generic data for an event."});
    const BindingTypeDescriptor* callback = registerRecord<BindingCallbackEvent>(
        registry, {"BindingCallbackEvent", builtinTags(),
                   "Represents the parameters of a call to a provided callback."});
    registerRecord<BindingGenericAsyncEvent>(
        registry, {"BindingGenericAsyncEvent", asyncTags(),
                   "Represents generic data for an asynchronous event."});
    registerRecord<BindingAsyncFailureEvent>(
        registry,
        {"BindingAsyncFailureEvent", asyncTags(), "Represents a failed asynchronous operation."});
    registerRecord<BindingAsyncCancelEvent>(
        registry,
        {"BindingAsyncCancelEvent", asyncTags(), "Represents a cancelled asynchronous operation."});
    if (registry.findEvent("OnCallback") == nullptr) {
        BindingEventDescriptor& event = registry.registerEvent("OnCallback", callback);
        event.description = "Fired when a callback is invoked.";
        event.tags = builtinTags();
    }
}

}  // namespace tav

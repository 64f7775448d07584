#include "binding/builtin_types.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/help_types.h"
#include "binding/type_registry.h"
#include "binding_test_support.h"

namespace {

using namespace tav;
using namespace tav::testing;

const std::vector<std::string> kHelp = {"$builtin", "help"};
const std::vector<std::string> kAsync = {"$builtin", "async"};
const std::vector<std::string> kBuiltin = {"$builtin"};

struct Builtin {
    const char* name;
    std::uint32_t size;
    std::vector<std::string> tags;
    const char* description;
    const char* fields;  // fieldSummary
    const char* fieldDescriptions;
};

// In registration order: help records first, then the framework's own.
const std::vector<Builtin>& builtins() {
    static const std::vector<Builtin> table = {
        {"BindingHelpFormat", sizeof(BindingHelpFormat), kHelp,
         "Help format for binding functions and types.", "", ""},
        {"BindingFullTypeIdentifier", sizeof(BindingFullTypeIdentifier), kHelp,
         "Describes the type of a value.", "type:string, elementType:string", ""},
        {"BindingFullArgumentHelp", sizeof(BindingFullArgumentHelp), kHelp,
         "Describes a function parameter.",
         "name:string, description:string, type:struct BindingFullTypeIdentifier, optional:bool",
         ""},
        {"BindingFullFunctionHelp", sizeof(BindingFullFunctionHelp), kHelp, "Describes a function.",
         "name:string, nameSpace:string, arguments:vector<struct> BindingFullArgumentHelp, "
         "returns:struct BindingFullTypeIdentifier, description:string, help:string, "
         "threadSafe:bool, async:string, tags:vector<string>",
         ""},
        {"BindingFullEnumValueHelp", sizeof(BindingFullEnumValueHelp), kHelp,
         "Describes an enumerator.", "name:string, description:string, value:int32", ""},
        {"BindingFullFieldHelp", sizeof(BindingFullFieldHelp), kHelp,
         "Describes a member of a struct.",
         "name:string, description:string, offset:uint32, type:struct BindingFullTypeIdentifier, "
         "optional:bool",
         ""},
        {"BindingFullTypeHelp", sizeof(BindingFullTypeHelp), kHelp,
         "Describes a struct or enum type.",
         "name:string, nameSpace:string, size:uint32, description:string, tags:vector<string>, "
         "fields:vector<struct> BindingFullFieldHelp, values:vector<struct> "
         "BindingFullEnumValueHelp",
         ""},
        {"BindingFullEventHelp", sizeof(BindingFullEventHelp), kHelp, "Describes an event.",
         "name:string, nameSpace:string, type:struct BindingFullTypeIdentifier, "
         "description:string, tags:vector<string>",
         ""},
        {"BindingFullApiHelp", sizeof(BindingFullApiHelp), kHelp,
         "Describes the exposed native API.",
         "functions:vector<struct> BindingFullFunctionHelp, types:vector<struct> "
         "BindingFullTypeHelp, events:vector<struct> BindingFullEventHelp",
         ""},
        {"BindingAsyncState", sizeof(BindingAsyncState), kAsync,
         "Possible states of an asynchronous operation.", "", ""},
        {"BindingGenericEvent", sizeof(BindingGenericEvent), kBuiltin,
         "Represents generic data for an event.", "data:object", "data=Event data"},
        {"BindingCallbackEvent", sizeof(BindingCallbackEvent), kBuiltin,
         "Represents the parameters of a call to a provided callback.",
         "id:uint32, parameters:vector<object>",
         "id=ID of the callback being invoked; parameters=Callback parameters"},
        {"BindingGenericAsyncEvent", sizeof(BindingGenericAsyncEvent), kAsync,
         "Represents generic data for an asynchronous event.", "asyncToken:uint32, data:object",
         "asyncToken=Asynchronous operation token; data=Event data"},
        {"BindingAsyncFailureEvent", sizeof(BindingAsyncFailureEvent), kAsync,
         "Represents a failed asynchronous operation.", "asyncToken:uint32, error:string",
         "asyncToken=Asynchronous operation token; error=Error message"},
        {"BindingAsyncCancelEvent", sizeof(BindingAsyncCancelEvent), kAsync,
         "Represents a cancelled asynchronous operation.", "asyncToken:uint32",
         "asyncToken=Asynchronous operation token"},
    };
    return table;
}

std::string fieldDescriptions(const BindingTypeDescriptor& d) {
    std::string out;
    for (const BindingField& f : d.fields) {
        if (!f.description.empty()) {
            out += (out.empty() ? "" : "; ") + f.name + "=" + f.description;
        }
    }
    return out;
}

// "name=number description; ..." in iteration order.
std::string enumerators(const BindingTypeDescriptor& d) {
    std::string out;
    for (const auto& [name, e] : d.enumerators) {
        out +=
            (out.empty() ? "" : "; ") + name + "=" + std::to_string(e.number) + " " + e.description;
    }
    return out;
}

// Everything registered between two resets is dropped by the second one.
TEST(BuiltinTypes, EachResetRegistersExactlyTheBuiltins) {
    BindingTypeRegistry registry;
    EXPECT_FALSE(registry.initialised());
    EXPECT_TRUE(registry.snapshotTypes().empty());
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("reset " + std::to_string(round));
        registry.reset();
        EXPECT_TRUE(registry.initialised());
        const std::vector<const BindingTypeDescriptor*> types = registry.snapshotTypes();
        ASSERT_EQ(types.size(), builtins().size());
        for (std::size_t i = 0; i < types.size(); ++i) {
            EXPECT_EQ(types[i]->name, builtins()[i].name);
            EXPECT_EQ(registry.findByName(builtins()[i].name), types[i]);
            EXPECT_EQ(registry.findById(types[i]->typeId), types[i]);
        }
        const std::vector<const BindingEventDescriptor*> events = registry.snapshotEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0]->name, "OnCallback");
        EXPECT_EQ(events[0]->payload, registry.findByName("BindingCallbackEvent"));
        EXPECT_EQ(events[0]->description, "Fired when a callback is invoked.");
        EXPECT_EQ(events[0]->tags, kBuiltin);
        EXPECT_EQ(events[0]->nameSpace, "");
        EXPECT_TRUE(registry.snapshotFunctions().empty());
        EXPECT_EQ(registry.functionRegistrationCount(), 0u);

        registry.beginStructure("TestExtra", 1, staticTypeInfo<char>());
        registry.registerFunction("TestFunction", 0);
        registry.registerEvent("OnTest", nullptr);
    }
}

TEST(BuiltinTypes, TagsDescriptionsAndFields) {
    BindingTypeRegistry registry;
    registry.reset();
    for (const Builtin& b : builtins()) {
        SCOPED_TRACE(b.name);
        const BindingTypeDescriptor* d = registry.findByName(b.name);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->nativeSize, b.size);
        EXPECT_EQ(d->isEnum, std::string(b.fields).empty());
        EXPECT_EQ(d->tags, b.tags);
        EXPECT_EQ(d->description, b.description);
        EXPECT_EQ(d->nameSpace, "");
        EXPECT_EQ(fieldSummary(*d), b.fields);
        EXPECT_EQ(fieldDescriptions(*d), b.fieldDescriptions);
    }
}

TEST(BuiltinTypes, EnumeratorsIterateInNameOrder) {
    BindingTypeRegistry registry;
    registry.reset();
    EXPECT_EQ(enumerators(*registry.findByName("BindingAsyncState")),
              "Cancelled=3 The operation was cancelled; Cancelling=2 A request to cancel the "
              "operation has been made; Failed=5 The operation encountered an error; None=0 "
              "Invalid state; Running=1 The operation is in flight; Succeeded=4 The operation "
              "completed successfully");
    EXPECT_EQ(enumerators(*registry.findByName("BindingHelpFormat")),
              "Epytext=2 Python epytext format; Full=1 Native help format");
    EXPECT_EQ(registry.enumName(staticTypeInfo<BindingAsyncState>(), 4), "Succeeded");
    BindingAsyncState state = BindingAsyncState::None;
    ASSERT_TRUE(fromValue(state, text("Failed"), "x", registry).ok);
    EXPECT_EQ(state, BindingAsyncState::Failed);
}

}  // namespace

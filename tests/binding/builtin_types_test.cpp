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

// In registration order: help records first, then the framework's own. The
// texts are the ones the API description hands out; field lists are the
// records' own descriptions and not repeated here.
struct Builtin {
    const char* name;
    std::vector<std::string> tags;
    const char* description;
    const char* fieldDescriptions;
};
const Builtin kBuiltins[] = {
    {"BindingHelpFormat", kHelp, "Help format for binding functions and types.", ""},
    {"BindingFullTypeIdentifier", kHelp, "Describes the type of a value.", ""},
    {"BindingFullArgumentHelp", kHelp, "Describes a function parameter.", ""},
    {"BindingFullFunctionHelp", kHelp, "Describes a function.", ""},
    {"BindingFullEnumValueHelp", kHelp, "Describes an enumerator.", ""},
    {"BindingFullFieldHelp", kHelp, "Describes a member of a struct.", ""},
    {"BindingFullTypeHelp", kHelp, "Describes a struct or enum type.", ""},
    {"BindingFullEventHelp", kHelp, "Describes an event.", ""},
    {"BindingFullApiHelp", kHelp, "Describes the exposed native API.", ""},
    {"BindingAsyncState", kAsync, "Possible states of an asynchronous operation.", ""},
    {"BindingGenericEvent", kBuiltin, "Represents generic data for an event.", "data=Event data"},
    {"BindingCallbackEvent", kBuiltin,
     "Represents the parameters of a call to a provided callback.",
     "id=ID of the callback being invoked; parameters=Callback parameters"},
    {"BindingGenericAsyncEvent", kAsync, "Represents generic data for an asynchronous event.",
     "asyncToken=Asynchronous operation token; data=Event data"},
    {"BindingAsyncFailureEvent", kAsync, "Represents a failed asynchronous operation.",
     "asyncToken=Asynchronous operation token; error=Error message"},
    {"BindingAsyncCancelEvent", kAsync, "Represents a cancelled asynchronous operation.",
     "asyncToken=Asynchronous operation token"},
};

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
        ASSERT_EQ(types.size(), std::size(kBuiltins));
        for (std::size_t i = 0; i < types.size(); ++i) {
            EXPECT_EQ(types[i]->name, kBuiltins[i].name);
            EXPECT_EQ(registry.findByName(kBuiltins[i].name), types[i]);
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

TEST(BuiltinTypes, TagsAndDescriptions) {
    BindingTypeRegistry registry;
    registry.reset();
    for (const Builtin& b : kBuiltins) {
        SCOPED_TRACE(b.name);
        const BindingTypeDescriptor& d = *registry.findByName(b.name);
        EXPECT_EQ(d.tags, b.tags);
        EXPECT_EQ(d.description, b.description);
        EXPECT_EQ(fieldDescriptions(d), b.fieldDescriptions);
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

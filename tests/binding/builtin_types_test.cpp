#include "binding/builtin_types.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/type_registry.h"
#include "binding_test_support.h"

namespace {

using namespace tav;
using namespace tav::testing;

// Everything registered between two resets is dropped by the second one,
// and every reset registers the same builtins, each found by name and id.
TEST(BuiltinTypes, EachResetRegistersExactlyTheBuiltins) {
    BindingTypeRegistry registry;
    EXPECT_FALSE(registry.initialised());
    EXPECT_TRUE(registry.snapshotTypes().empty());
    std::vector<std::string> first;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("reset " + std::to_string(round));
        registry.reset();
        EXPECT_TRUE(registry.initialised());
        const std::vector<const BindingTypeDescriptor*> types = registry.snapshotTypes();
        ASSERT_EQ(types.size(), 15u);
        for (std::size_t i = 0; i < types.size(); ++i) {
            if (round == 1) {
                first.push_back(types[i]->name);
            }
            EXPECT_EQ(types[i]->name, first[i]);
            EXPECT_EQ(registry.findByName(types[i]->name), types[i]);
            EXPECT_EQ(registry.findById(types[i]->typeId), types[i]);
        }
        const std::vector<const BindingEventDescriptor*> events = registry.snapshotEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0]->name, "OnCallback");
        EXPECT_EQ(events[0]->payload, registry.findByName("BindingCallbackEvent"));
        EXPECT_TRUE(registry.snapshotFunctions().empty());
        EXPECT_EQ(registry.functionRegistrationCount(), 0u);

        registry.beginStructure("TestExtra", 1, staticTypeInfo<char>());
        registry.registerFunction("TestFunction", 0);
        registry.registerEvent("OnTest", nullptr);
    }
}

}  // namespace

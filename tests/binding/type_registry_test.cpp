#include "binding/type_registry.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/fnv1a.h"
#include "binding/record_description.h"
#include "binding_test_support.h"

namespace regtest {

struct Pair {
    std::int32_t a = 0;
    std::int32_t b = 0;
};
constexpr auto describe(tav::BindingDescribe<Pair>) {
    return tav::record(tav::field("a", &Pair::a), tav::field("b", &Pair::b));
}

enum class Tie : std::int32_t { B = 1, A = 1, Lower = 2, Z = 3 };

}  // namespace regtest

namespace {

using namespace tav;
using namespace tav::testing;
using regtest::Pair;
using regtest::Tie;

std::unique_ptr<const BindingFieldAccessor> int32Accessor() {
    return std::make_unique<BindingMemberAccessor<std::int32_t>>(nullptr);
}

template <class T>
std::vector<std::string> namesOf(const std::vector<const T*>& descriptors) {
    std::vector<std::string> names;
    for (const T* d : descriptors) {
        names.push_back(d->name);
    }
    return names;
}

class TypeRegistry : public ::testing::Test {
protected:
    TypeRegistry() { registry.reset(); }

    void addInt32Field(BindingTypeBuilder& builder, const char* name, std::uint32_t offset) {
        builder.addField(name, "", offset, staticTypeInfo<std::int32_t>(),
                         bindingTypeRef<std::int32_t>(registry), {}, 0, int32Accessor(), false);
    }

    BindingTypeRegistry registry;
};

TEST_F(TypeRegistry, SecondRegistrationOfANameChangesNothing) {
    BindingTypeBuilder first =
        registry.beginStructure("TestPair", sizeof(Pair), staticTypeInfo<Pair>());
    ASSERT_FALSE(first.alreadyRegistered());
    addInt32Field(first, "a", 0);
    addInt32Field(first, "b", 4);
    first.setDescription("first").addTags({"one"});
    EXPECT_EQ(first.currentOffset(), 4u);

    BindingTypeBuilder second =
        registry.beginStructure("TestPair", 99, staticTypeInfo<int>(), true);
    EXPECT_TRUE(second.alreadyRegistered());
    EXPECT_EQ(second.descriptor(), first.descriptor());
    addInt32Field(second, "c", 8);
    second.setDescription("second").addTags({"two"}).addEnumerator("E", 1, "");

    const BindingTypeDescriptor* d = registry.findByName("TestPair");
    ASSERT_EQ(d, first.descriptor());
    EXPECT_EQ(fieldSummary(*d), "a:int32, b:int32");
    EXPECT_EQ(d->description, "first");
    EXPECT_EQ(d->tags, std::vector<std::string>{"one"});
    EXPECT_TRUE(d->enumerators.empty());
    EXPECT_EQ(d->nativeSize, sizeof(Pair));
    EXPECT_EQ(d->fields[1].owner, d);
    EXPECT_EQ(d->fields[1].nameHash, 0xe70c2de5u);  // FNV-1a of "b"
    EXPECT_EQ(detail::fnv1a("foobar"), 0xbf9cf968u);
    EXPECT_EQ(registry.find(staticTypeInfo<Pair>()), d);

    // The description DSL takes the same path.
    EXPECT_EQ(registerRecord<Pair>(registry, {"TestPair", {"three"}}), d);
    EXPECT_EQ(d->fields.size(), 2u);
    EXPECT_EQ(d->tags, std::vector<std::string>{"one"});
}

TEST_F(TypeRegistry, ReservedIdIsIndexedByNameOnly) {
    const BindingTypeBuilder builder =
        registry.beginStructure("TestReserved", 4, reservedStaticTypeInfo());
    EXPECT_EQ(builder.descriptor()->typeId, kReservedTypeId);
    EXPECT_EQ(registry.findByName("TestReserved"), builder.descriptor());
    EXPECT_EQ(registry.findById(kReservedTypeId), nullptr);
    EXPECT_EQ(registry.find(reservedStaticTypeInfo()), nullptr);
}

TEST_F(TypeRegistry, LaterTypeOfTheSameIdTakesTheIdIndex) {
    EXPECT_EQ(registry.find(staticTypeInfo<Pair>()), nullptr);
    const auto* earlier =
        registry.beginStructure("TestEarlier", 8, staticTypeInfo<Pair>()).descriptor();
    const auto* later =
        registry.beginStructure("TestLater", 8, staticTypeInfo<Pair>()).descriptor();
    EXPECT_EQ(registry.find(staticTypeInfo<Pair>()), later);
    EXPECT_EQ(registry.findByName("TestEarlier"), earlier);
    EXPECT_EQ(registry.findByName("TestLater"), later);
    EXPECT_EQ(registry.findByName("testlater"), nullptr);
}

// Names are scanned in byte order, so of two names with the same number the
// first in that order wins; a repeated name replaces its enumerator.
TEST_F(TypeRegistry, EnumeratorLookups) {
    BindingTypeBuilder builder = registry.beginStructure("TestTie", 4, staticTypeInfo<Tie>(), true);
    builder.addEnumerator("B", 1, "b").addEnumerator("A", 1, "a");
    builder.addEnumerator("lower", 2, "").addEnumerator("Z", 3, "");
    const BindingTypeDescriptor& d = *builder.descriptor();
    const StaticTypeInfo& tie = staticTypeInfo<Tie>();

    EXPECT_EQ(registry.enumName(tie, 1), "A");
    EXPECT_EQ(registry.enumName(tie, 2), "lower");
    EXPECT_EQ(registry.enumName(tie, 4), std::nullopt);
    EXPECT_EQ(registry.enumName(staticTypeInfo<Pair>(), 1), std::nullopt);
    EXPECT_TRUE(BindingTypeRegistry::enumContains(d, 3));
    EXPECT_FALSE(BindingTypeRegistry::enumContains(d, 0));
    ASSERT_NE(BindingTypeRegistry::enumByName(d, "B"), nullptr);
    EXPECT_EQ(BindingTypeRegistry::enumByName(d, "B")->description, "b");
    EXPECT_EQ(BindingTypeRegistry::enumByName(d, "b"), nullptr);

    builder.addEnumerator("A", 5, "again");
    EXPECT_EQ(d.enumerators.size(), 4u);
    EXPECT_EQ(registry.enumName(tie, 1), "B");
    EXPECT_EQ(registry.enumName(tie, 5), "A");
    EXPECT_EQ(BindingTypeRegistry::enumByName(d, "A")->owner, &d);
}

TEST_F(TypeRegistry, FunctionsRegisterReplaceAndSnapshot) {
    BindingFunctionDescriptor& f = registry.registerFunction("F", 2);
    EXPECT_EQ(f.arguments.size(), 2u);
    EXPECT_EQ(f.registry, &registry);
    EXPECT_EQ(registry.findFunction("F"), &f);

    const BindingFunctionDescriptor& g = registry.registerFunction("G", 0);
    const BindingFunctionDescriptor& replacement = registry.registerFunction("F", 1);
    registry.registerFunction("Hidden", 0, true);

    EXPECT_EQ(registry.findFunction("F"), &replacement);
    EXPECT_EQ(registry.findFunction("Hidden"), nullptr);
    EXPECT_EQ(registry.functionRegistrationCount(), 3u);
    EXPECT_EQ(registry.snapshotFunctions(),
              (std::vector<const BindingFunctionDescriptor*>{&g, &replacement}));
}

TEST_F(TypeRegistry, EventsRegisterReplaceAndSnapshot) {
    const BindingTypeDescriptor* payload = registry.findByName("BindingGenericEvent");
    const BindingEventDescriptor& first = registry.registerEvent("OnTest", payload);
    EXPECT_EQ(registry.findEvent("OnTest"), &first);
    EXPECT_EQ(first.payload, payload);

    const BindingEventDescriptor& second = registry.registerEvent("OnTest", nullptr);
    EXPECT_EQ(registry.findEvent("OnTest"), &second);
    EXPECT_EQ(namesOf(registry.snapshotEvents()),
              (std::vector<std::string>{"OnCallback", "OnTest"}));
    EXPECT_EQ(registry.snapshotEvents().back(), &second);
}

TEST(StaticTypeInfo, UndescribedTypesAreNamedByTheirId) {
    const StaticTypeInfo* infos[] = {
        &staticTypeInfo<int>(),
        &staticTypeInfo<std::string>(),
        &staticTypeInfo<std::vector<int>>(),
        &staticTypeInfo<std::optional<std::int64_t>>(),
        &staticTypeInfo<BindingValue>(),
    };
    std::vector<std::uint32_t> ids;
    for (const StaticTypeInfo* info : infos) {
        char expected[16];
        std::snprintf(expected, sizeof expected, "#%08X", info->id);
        SCOPED_TRACE(expected);
        EXPECT_STREQ(info->name, expected);
        EXPECT_EQ(info->name, info->text);
        ids.push_back(info->id);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    // One record per type, whatever its qualifiers.
    EXPECT_EQ(&staticTypeInfo<const int>(), &staticTypeInfo<int>());
}

}  // namespace

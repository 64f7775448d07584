// The champ-select records as the host sees them in the API description.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "api/api_description.h"
#include "api_description_walk.h"
#include "binding/type_registry.h"
#include "plugin/api_types.h"

namespace {

using namespace tav;
using namespace tav::testing;

TEST(ApiDescriptionOfPluginTypes, SessionAndTradeStateAsTheHostReadsThem) {
    BindingTypeRegistry registry;
    registry.reset();
    Kelvo::Client::ChampSelect::Api::RegisterApiTypes(registry, "TavChampSelect", {"Plugins"});
    const auto description = ApiDescription::build(registry, {}, nullptr);
    const TavEndpointTable* table = description->table();

    const TavTypeRecord* session = findType(table, "TavChampSelectChampSelectSession");
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(texts(session->tags, session->tagCount), std::vector<std::string>{"Plugins"});
    const auto fields = walk(session->fields, session->count);
    ASSERT_EQ(fields.size(), 13u);
    EXPECT_EQ(std::string_view(fields[2]->name), "myTeam");
    EXPECT_EQ(+fields[2]->kind, 15u);
    EXPECT_EQ(+fields[2]->elementKind, 17u);
    EXPECT_EQ(std::string_view(fields[2]->typeName), "TavChampSelectChampSelectPlayerSelection");
    EXPECT_EQ(std::string_view(fields[5]->name), "actions");
    EXPECT_EQ(+fields[5]->elementKind, 13u);  // values passed through
    EXPECT_EQ(std::string_view(fields[5]->typeName), "");

    const TavTypeRecord* state = findType(table, "TavChampSelectChampSelectTradeState");
    ASSERT_NE(state, nullptr);
    std::vector<std::pair<std::string, std::int32_t>> enumerators;
    for (const TavEnumeratorRecord* e : walk(state->enumerators, state->count)) {
        enumerators.emplace_back(+e->name, +e->number);
    }
    const std::vector<std::pair<std::string, std::int32_t>> expected = {
        {"AVAILABLE", 1}, {"BUSY", 2}, {"INVALID", 3}, {"RECEIVED", 4}, {"SENT", 5}};
    EXPECT_EQ(enumerators, expected);
}

}  // namespace

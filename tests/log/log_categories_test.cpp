// The category table: codes registered into the next free slot, names of a
// mask. The process table as other modules reach it is the log API test's.
#include "log/log_categories.h"

#include <string>

#include <gtest/gtest.h>

using namespace tav;

namespace {

std::string names(const LogCategoryTable& table, std::uint64_t mask) {
    char buffer[LogCategoryTable::kNamesCapacity];
    table.Names(mask, buffer, sizeof buffer);
    return buffer;
}

constexpr std::uint64_t bit(unsigned index) {
    return std::uint64_t{1} << index;
}

}  // namespace

TEST(LogCategories, RegistrationTakesTheNextSlotOnce) {
    LogCategoryTable table;
    EXPECT_EQ(names(table, 0xFF | bit(8) | bit(63)), "DBG;GEN;XTR;PRF;MEM;DSK;NET;TST;???;???");
    const std::pair<const char*, std::uint64_t> rows[] = {
        {"LOC", bit(8)},
        {"LOC", bit(8)},
        {"TST", bit(7)},
        {"NEW", bit(9)},
        {"LONGER", bit(10)} /* cut to "LON" */,
        {"LON", bit(10)},
        {"A", bit(11)},
        {"", 0},
        {nullptr, 0},
    };
    for (const auto& [code, mask] : rows) {
        SCOPED_TRACE(code != nullptr ? code : "(null)");
        EXPECT_EQ(table.Register(code), mask);
    }
    EXPECT_EQ(names(table, bit(8) | bit(9) | bit(10) | bit(11) | bit(12)), "LOC;NEW;LON;A;???");

    char small[6];
    EXPECT_EQ(table.Names(0x7, small, sizeof small), 5u);
    EXPECT_STREQ(small, "DBG;G");
}

TEST(LogCategories, AFullTableRefusesNewCodesAndKeepsItsOwn) {
    LogCategoryTable table;
    for (unsigned slot = 8; slot < LogCategoryTable::kSlots; ++slot) {
        const char code[] = {'C', static_cast<char>('0' + slot / 10),
                             static_cast<char>('0' + slot % 10), '\0'};
        ASSERT_EQ(table.Register(code), bit(slot)) << code;
    }
    EXPECT_EQ(table.Register("ONE"), 0u);
    EXPECT_EQ(table.Register("TWO"), 0u);
    EXPECT_EQ(table.Register("C63"), bit(63));
    EXPECT_EQ(names(table, bit(62) | bit(63)), "C62;C63");
    EXPECT_EQ(names(table, ~std::uint64_t{0}).size(), LogCategoryTable::kNamesCapacity - 1);
}

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/binding_value.h"
#include "binding_test_support.h"
#include "formats/message_pack.h"

namespace {

using namespace tav;
using namespace tav::testing;

struct RoundTrip {
    const char* name;
    BindingValue value;
    std::string expected;  // the dump read back; "" for the dump written
    std::size_t size;      // of the encoding: the smallest form was chosen
};

BindingValue collection(std::size_t count) {
    BindingValue value;
    value.makeCollection();
    for (std::size_t i = 0; i < count; ++i) {
        value.append().setBool(true);
    }
    return value;
}

BindingValue structure(std::size_t count) {
    BindingValue value;
    value.makeStructure();
    for (std::size_t i = 0; i < count; ++i) {
        value.member(std::string(1, static_cast<char>('a' + i))).setInt64(-1);
    }
    return value;
}

// Every value written reads back through the project's reader as the same
// tree, but for what the format cannot tell: a non-negative number reads as
// signed in fix form, unsigned otherwise, and an enum as its number.
TEST(MessagePackWriter, RoundTripsThroughTheReaderInTheSmallestForm) {
    const std::vector<RoundTrip> rows = {
        {"empty", none(), "", 1},
        {"bool", boolean(false), "", 1},
        {"fixint", uns(127), "signed 127", 1},
        {"uint8", sgn(255), "unsigned 255", 2},
        {"uint16", uns(65535), "unsigned 65535", 3},
        {"uint32", uns(4294967295u), "unsigned 4294967295", 5},
        {"uint64", uns(4294967296u), "unsigned 4294967296", 9},
        {"negative fixint", sgn(-32), "", 1},
        {"int8", sgn(-128), "", 2},
        {"int16", sgn(-129), "", 3},
        {"int32", sgn(-2147483648LL), "", 5},
        {"int64", sgn(std::numeric_limits<std::int64_t>::min()), "", 9},
        {"double", flt(-2.5), "", 9},
        {"enum", enumValue(-3, nullptr), "signed -3", 1},
        {"fixstr", text(std::string(31, 'x')), "", 32},
        {"str8", text(std::string(255, 'x')), "", 257},
        {"str16", text(std::string(65535, 'x')), "", 65538},
        {"str32", text(std::string(65536, 'x')), "", 65541},
        {"bin8", blob({0, 0xFF}), "", 4},
        {"bin16", made([](BindingValue& v) { v.setBlob(BindingBlob(256, 7)); }), "", 259},
        {"fixarray", collection(15), "", 16},
        {"array16", collection(16), "", 19},
        {"fixmap", structure(15), "", 46},
        {"map16", structure(16), "", 51},
        {"nested", object({{"list", list({none(), object({{"k", text("v")}})})}, {"a", flt(0.5)}}),
         "", 24},
    };
    for (const RoundTrip& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string bytes = tav::writeMessagePack(row.value);
        EXPECT_EQ(bytes.size(), row.size);
        std::uint32_t position = 0;
        const tav::BindingResult read = tav::readMessagePack(
            {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, position);
        ASSERT_TRUE(read.ok) << read.error();
        EXPECT_EQ(position, bytes.size());
        EXPECT_EQ(dump(read.value), row.expected.empty() ? dump(row.value) : row.expected);
    }
}

}  // namespace

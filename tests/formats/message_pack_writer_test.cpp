#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "binding/binding_value.h"
#include "formats/message_pack.h"
#include "support/value_dump.h"

namespace {

using tav::BindingValue;

struct RoundTrip {
    const char* name;
    std::function<void(BindingValue&)> build;
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
        {"empty", [](BindingValue&) {}, "", 1},
        {"bool", [](BindingValue& v) { v.setBool(false); }, "", 1},
        {"fixint", [](BindingValue& v) { v.setUInt64(127); }, "signed 127", 1},
        {"uint8", [](BindingValue& v) { v.setInt64(255); }, "unsigned 255", 2},
        {"uint16", [](BindingValue& v) { v.setUInt64(65535); }, "unsigned 65535", 3},
        {"uint32", [](BindingValue& v) { v.setUInt64(4294967295u); }, "unsigned 4294967295", 5},
        {"uint64", [](BindingValue& v) { v.setUInt64(4294967296u); }, "unsigned 4294967296", 9},
        {"negative fixint", [](BindingValue& v) { v.setInt64(-32); }, "", 1},
        {"int8", [](BindingValue& v) { v.setInt64(-128); }, "", 2},
        {"int16", [](BindingValue& v) { v.setInt64(-129); }, "", 3},
        {"int32", [](BindingValue& v) { v.setInt64(-2147483648LL); }, "", 5},
        {"int64", [](BindingValue& v) { v.setInt64(std::numeric_limits<std::int64_t>::min()); }, "",
         9},
        {"double", [](BindingValue& v) { v.setDouble(-2.5); }, "", 9},
        {"enum", [](BindingValue& v) { v.setEnum({.number = -3}); }, "signed -3", 1},
        {"fixstr", [](BindingValue& v) { v.setString(std::string(31, 'x')); }, "", 32},
        {"str8", [](BindingValue& v) { v.setString(std::string(255, 'x')); }, "", 257},
        {"str16", [](BindingValue& v) { v.setString(std::string(65535, 'x')); }, "", 65538},
        {"str32", [](BindingValue& v) { v.setString(std::string(65536, 'x')); }, "", 65541},
        {"bin8",
         [](BindingValue& v) {
             v.setBlob(std::vector<std::uint8_t>{0, 0xFF});
         },
         "", 4},
        {"bin16", [](BindingValue& v) { v.setBlob(std::vector<std::uint8_t>(256, 7)); }, "", 259},
        {"fixarray", [](BindingValue& v) { v = collection(15); }, "", 16},
        {"array16", [](BindingValue& v) { v = collection(16); }, "", 19},
        {"fixmap", [](BindingValue& v) { v = structure(15); }, "", 46},
        {"map16", [](BindingValue& v) { v = structure(16); }, "", 51},
        {"nested",
         [](BindingValue& v) {
             v.member("list").element(1).member("k").setString("v");
             v.member("a").setDouble(0.5);
         },
         "", 24},
    };
    for (const RoundTrip& row : rows) {
        SCOPED_TRACE(row.name);
        BindingValue value;
        row.build(value);
        const std::string bytes = tav::writeMessagePack(value);
        EXPECT_EQ(bytes.size(), row.size);
        std::uint32_t position = 0;
        const tav::BindingResult read = tav::readMessagePack(
            {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, position);
        ASSERT_TRUE(read.ok) << read.error();
        EXPECT_EQ(position, bytes.size());
        EXPECT_EQ(tav::testing::dump(read.value),
                  row.expected.empty() ? tav::testing::dump(value) : row.expected);
    }
}

}  // namespace

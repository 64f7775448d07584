#include "text/base64.h"

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(Base64, EncodesWithPaddingAndRoundTrips) {
    const struct {
        const char* plain;
        const char* encoded;
    } cases[] = {{"", ""}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"foobar", "Zm9vYmFy"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        EXPECT_EQ(tav::base64Encode(bytesOf(c.plain)), c.encoded);
        EXPECT_EQ(tav::base64Decode(c.encoded), bytesOf(c.plain));
    }
    std::vector<std::uint8_t> all(256);
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<std::uint8_t>(255 - i);
    }
    EXPECT_EQ(tav::base64Encode(all.data(), 3), "//79");
    EXPECT_EQ(tav::base64Decode(tav::base64Encode(all)), all);
}

// Decoding never fails: it keeps what it read before the first "=" or the
// first character outside the alphabet; leftover bits are not checked.
TEST(Base64, DecodingStopsSilently) {
    const struct {
        std::string_view encoded;
        const char* plain;
    } cases[] = {
        {"YQ", "a"},          {"YWI", "ab"},
        {"YW=Jj", "a"},       {"Y", ""},
        {"YWJjY", "abc"},     {"YW Jj", "a"},
        {"-_-_", ""},         {"YWJj\xc3\xa9", "abc"},
        {"=YWJj", ""},        {"YWJjZA==Zm9v", "abcd"},
        {{"YQ\0YQ", 5}, "a"}, {"YR", "a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(tav::base64Decode(c.encoded), bytesOf(c.plain));
    }
}

// The output size is checked before anything is read or reserved.
TEST(Base64, RejectsCountsWhoseEncodingCannotBeSized) {
    const std::uint8_t byte = 0;
    EXPECT_THROW(tav::base64Encode(&byte, std::numeric_limits<std::size_t>::max()),
                 std::length_error);
}

}  // namespace

// The character check behind the --token rule and the preflight's echoed
// header list: ASCII only, whatever the locale, so that no byte of another
// encoding reaches a URL or a header.
#include "server/security.h"

#include <string_view>

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

TEST(OnlyCharacters, TakesAsciiLettersDigitsAndTheExtrasOnly) {
    using namespace std::string_view_literals;
    struct Row {
        std::string_view text;
        std::string_view extra;
        bool taken;
    };
    const Row rows[] = {
        {"", "", true},
        {"azAZ09", "", true},
        {"runner.token-0_~", "-._~", true},
        {"X-Tav-Dev-Token, content-type", "-_, ", true},
        {"a b", "-", false},
        {"a/b", "-._~", false},
        {"caf\xC3\xA9", "-", false},
        {"a\0b"sv, "-", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(onlyCharacters(row.text, row.extra), row.taken) << row.text;
    }
}

}  // namespace
}  // namespace tav::devhost

#include "api/method_names.h"

#include <gtest/gtest.h>

using namespace tav;

TEST(MethodNames, CodesOneToSevenHaveNamesOthersAreEmpty) {
    const char* expected[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", ""};
    for (std::uint32_t code = 0; code < 9; ++code) {
        EXPECT_STREQ(methodName(code), expected[code]) << code;
    }
    EXPECT_STREQ(methodName(0xFFFFFFFFu), "");
    EXPECT_EQ(methodCodeOf(8), MethodCode::Custom);
    EXPECT_EQ(methodCodeOf(9), MethodCode::None);
    for (std::uint32_t code = 1; code < 8; ++code) {
        EXPECT_EQ(methodCodeNamed(expected[code]), methodCodeOf(code)) << code;
    }
    for (const char* custom : {"", "get", "PROPFIND"}) {
        EXPECT_EQ(methodCodeNamed(custom), MethodCode::Custom) << custom;
    }
}

TEST(FunctionName, FollowsMethodAndPath) {
    struct Row {
        const char* method;
        const char* path;
        const char* expected;
    };
    const Row rows[] = {
        {"GET", "/tav-champ-select/v1/session/trades/{id}/accept",
         "GetTavChampSelectV1SessionTradesByIdAccept"},
        {"POST", "/tav-champ-select/v1/session/my-selection",
         "PostTavChampSelectV1SessionMySelection"},
        {"PATCH", "/tav-champ-select/v1/session/my-selection",
         "PatchTavChampSelectV1SessionMySelection"},
        {"", "tav-champ-select", "TavChampSelect"},
        {"DELETE", "/a_b.c!d+e", "DeleteABCDE"},
        {"get", "/x/{+rest}", "GetXByRest"},
        {"", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.method) + " " + row.path);
        EXPECT_EQ(functionName(row.method, row.path), row.expected);
    }
}

// The 32-bit preset must really produce 32-bit code: the host records are
// laid out for 4-byte addresses.
#include <cstddef>

#include <gtest/gtest.h>

TEST(BuildTarget, PointerSizeMatchesTheConfiguredArchitecture) {
    EXPECT_EQ(sizeof(void*), static_cast<std::size_t>(TAV_EXPECTED_POINTER_SIZE));
}

// The preset's word size is the one the compiler really produces: the host
// records are laid out for 4-byte addresses at 32 bits. The expectation comes
// from the preset (TAV_TARGET_BITS in CMakePresets.json), not from the
// compiler, so a preset whose toolchain builds the other word size fails here.
#include <climits>
#include <cstddef>

#include <gtest/gtest.h>

TEST(BuildTarget, PointerSizeMatchesTheConfiguredArchitecture) {
    EXPECT_EQ(sizeof(void*) * CHAR_BIT, static_cast<std::size_t>(TAV_TARGET_BITS));
}

// What the host kit promises beyond its users' tests: a module file of the
// other word size is named as such, and a slot that throws stops at the
// table.
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "hostkit/host_table.h"
#include "hostkit/plugin_module.h"

namespace {

constexpr int kBits = sizeof(void*) * 8;

// The first bytes of a module of this system's format for bits, and the
// folder of that system's builds.
#if defined(_WIN32)
constexpr const char* kSystem = "windows";
std::string moduleHeader(int bits) {
    std::string bytes(512, '\0');
    bytes.replace(0, 2, "MZ");
    bytes[0x3C] = 0x40;
    bytes.replace(0x40, 4, std::string("PE\0\0", 4));
    bytes[0x40 + 24] = 0x0B;
    bytes[0x40 + 25] = bits == 32 ? 0x01 : 0x02;
    return bytes;
}
#else
constexpr const char* kSystem = "linux";
std::string moduleHeader(int bits) {
    std::string bytes(512, '\0');
    bytes[0] = 0x7F;
    bytes.replace(1, 3, "ELF");
    bytes[4] = bits == 32 ? 1 : 2;
    return bytes;
}
#endif

TEST(HostKit, AModuleOfTheOtherWordSizeIsNamedAsSuch) {
    const int other = kBits == 64 ? 32 : 64;
    const std::string theirs = std::to_string(other);
    const std::string ours = std::to_string(kBits);
    const struct {
        std::string contents;
        std::string reason;  // empty: the system's own words
    } rows[] = {
        {moduleHeader(other), "it is a " + theirs + "-bit module; this tool is " + ours +
                                  "-bit and loads " + ours + "-bit modules: use the " + theirs +
                                  "-bit build's tool (build/" + kSystem + "-" +
                                  (other == 32 ? "x86" : "x64") + "/...)"},
        {"not a module", ""},
    };
    const std::string path = ::testing::TempDir() + "hostkit_other_word_size.module";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reason);
        std::ofstream(path, std::ios::binary) << row.contents;
        tav::hostkit::PluginModule module;
        std::string error;
        ASSERT_FALSE(module.open(path, error));
        if (row.reason.empty()) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find("-bit module"), std::string::npos) << error;
        } else {
            EXPECT_EQ(error, row.reason);
        }
    }
    std::remove(path.c_str());
}

struct ThrowingHost final : tav::hostkit::HostTable {
    std::string failed;

    void log(std::int32_t, std::string_view) override { throw std::runtime_error("full"); }
    void waitStep() override { throw 7; }
    void slotFailed(const char* slot, const char* what) noexcept override {
        failed += std::string(slot) + ":" + (what != nullptr ? what : "?") + " ";
    }
};

TEST(HostKit, AThrowingSlotStopsAtTheTable) {
    ThrowingHost host;
    const TavPluginHost* table = host.table();
    table->log(table, 0, "line");
    table->waitStep(table);
    table->waitResume(table);  // a default: nothing to report
    EXPECT_EQ(host.failed, "log:full waitStep:? ");
}

}  // namespace

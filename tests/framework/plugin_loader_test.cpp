// The frame every plugin stands in: versions, names, the fatal report, and
// what Init sets up. What Load leaves in the record (versions, names, labels,
// the type prefix) and an incompatible host's death are the module's test
// (tests/plugin/plugin_module_test.cpp).
#include "framework/plugin_loader.h"

#include <string>

#include <gtest/gtest.h>

#include "fake_host.h"
#include "framework/fatal_report.h"
#include "framework/plugin_base.h"
#include "framework/plugin_identity.h"
#include "framework/semantic_version.h"
#include "log/log_manager.h"
#include "log/log_target.h"

using namespace tav;

namespace {

struct TestPlugin : PluginBase {
    bool initialiseResult = true;
    bool OnInitialize() override { return initialiseResult; }
};

TavLoadRecord loadRecord(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    TavLoadRecord record{};
    record.apiMajor = major;
    record.apiMinor = minor;
    record.apiPatch = patch;
    return record;
}

// Collects the lines the log manager hands to targets.
class RecordingTarget : public LogTarget {
public:
    ~RecordingTarget() override { Unregister(); }
    const char* Name() const override { return "RecordingTarget"; }
    bool Write(const LogRecord& record) override {
        lines.emplace_back(record.level, record.message);
        return true;
    }
    std::vector<std::pair<std::int32_t, std::string>> lines;
};

}  // namespace

TEST(SemanticVersion, TextFormAndCompatibility) {
    EXPECT_EQ(frameworkApiVersion().text(), "18.0.0");
    EXPECT_EQ((SemanticVersion{2, 1, 0, "rc1", "b7"}.text()), "2.1.0-rc1+b7");
    EXPECT_EQ((SemanticVersion{2, 1, 0, {}, "b7"}.text()), "2.1.0+b7");
    EXPECT_EQ((SemanticVersion{2, 1, 0, "rc1", {}}.text()), "2.1.0-rc1");

    const auto v = [](std::uint32_t major, std::uint32_t minor, std::uint32_t patch,
                      const char* prerelease = "") {
        return SemanticVersion{major, minor, patch, prerelease, {}};
    };
    struct Row {
        SemanticVersion plugin;
        SemanticVersion host;
        bool compatible;
    };
    const Row rows[] = {
        {v(18, 0, 0), v(18, 0, 0), true},        {v(18, 0, 0), v(18, 3, 0), true},
        {v(18, 0, 0), v(18, 5, 2), true},        {v(18, 0, 1), v(18, 0, 0), false},
        {v(18, 0, 0), v(19, 0, 0), false},       {v(18, 0, 0), v(17, 9, 9), false},
        {v(18, 2, 5), v(18, 2, 5), true},        {v(18, 2, 5), v(18, 1, 9), false},
        {v(18, 0, 0, "rc1"), v(18, 0, 0), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.plugin.text() + " in " + row.host.text());
        EXPECT_EQ(isCompatible(row.plugin, row.host), row.compatible);
    }
}

TEST(PluginIdentity, FullNameFollowsTheTypeWord) {
    RecordingTarget target;
    target.SetLevel(0);
    ASSERT_TRUE(target.Register());

    EXPECT_EQ(GetFullNameFromShortNameAndType("tav-champ-select", backendPluginType()).fullName,
              "zub-be-tav-champ-select");
    EXPECT_EQ(GetFullNameFromShortNameAndType("x", frontendPluginType()).fullName, "zub-fe-x");
    EXPECT_TRUE(target.lines.empty());

    const PluginIdentity odd = GetFullNameFromShortNameAndType("x", {"Backend", "second"});
    EXPECT_EQ(odd.fullName, "zub-xx-x");
    EXPECT_EQ(odd.shortName, "x");
    EXPECT_EQ(odd.typeWord, "Backend");
    EXPECT_EQ(odd.typeDetail, "second");
    ASSERT_EQ(target.lines.size(), 1u);
    EXPECT_EQ(target.lines[0].first, 2);
    EXPECT_EQ(target.lines[0].second,
              "            Plugin Manager| GetFullNameFromShortNameAndType(\"x\", \"Backend\") "
              "called with an unknown type");
}

TEST(FatalReport, TextHasOnlyTheSetParts) {
    FatalReport report;
    report.expression = "ALE-EECF0606";
    report.description = "x which supports plugin API 18.0.0 is not compatible";
    EXPECT_EQ(fatalReportText(report),
              "Assertion failed!\n\nExpression: ALE-EECF0606\n\nDescription: x which supports "
              "plugin API 18.0.0 is not compatible");
    report.file = "a.cpp";
    report.line = 12;
    report.function = "f";
    report.description.clear();
    EXPECT_EQ(fatalReportText(report),
              "Assertion failed!\n\nFile: a.cpp\nLine: 12\n\nFunction: f\n\nExpression: "
              "ALE-EECF0606");
}

TEST(PluginLoader, InitReplacesTheConsoleTargetsOnceAndBuildsTheUserAgent) {
    tav::testing::FakeHost host;
    auto* first = new TestPlugin;
    auto* second = new TestPlugin;
    second->initialiseResult = false;
    TavLoadRecord firstRecord = loadRecord(18, 3, 0);
    TavLoadRecord secondRecord = loadRecord(18, 0, 0);
    PluginLoader::Load(first, &firstRecord, "tav-champ-select");
    PluginLoader::Load(second, &secondRecord, "tav-other");

    const TavInitRecord init = host.initRecord();
    EXPECT_EQ(firstRecord.callbacks->init(first, &init), 1);
    EXPECT_EQ(first->userAgent(), "KelvoClient/18.3.0 (tav-champ-select)");
    EXPECT_EQ(first->hostContext(), init.hostContext);
    ASSERT_NE(LogManager::FindTarget("PluginLogTarget"), nullptr);
    EXPECT_EQ(LogManager::FindTarget("StdErrLogTarget"), nullptr);
    EXPECT_EQ(LogManager::MinimumLevel(), 0);
    EXPECT_EQ(LogManager::ExcludedCategories(), 4u);

    // Every level now reaches the host, unformatted.
    Log(0, 2, 0, "hello %d", 7);
    ASSERT_FALSE(host.logLines.empty());
    EXPECT_EQ(host.logLines.back(), (std::pair<std::int32_t, std::string>{0, "hello 7"}));

    // A second Init finds the plugin target and changes no setting; its
    // OnInitialize result is Init's result.
    LogManager::SetMinimumLevel(1);
    EXPECT_EQ(secondRecord.callbacks->init(second, &init), 0);
    EXPECT_EQ(LogManager::MinimumLevel(), 1);

    secondRecord.callbacks->shutdown(second);
    firstRecord.callbacks->shutdown(first);
    EXPECT_EQ(LogManager::FindTarget("PluginLogTarget"), nullptr);
}

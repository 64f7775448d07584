// The traffic log's bounds: the last 2,000 entries, oldest first, numbered
// in order; an entry over 16 KiB has each member over 4 KiB cut (on a whole
// UTF-8 character) and names it with its full length, while a recording
// keeps it whole; bodies kept so that their bytes come back.
#include "traffic/traffic_log.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "formats/json.h"

namespace tav::devhost {
namespace {

BindingValue entries(const TrafficLog& log, std::size_t limit) {
    BindingResult read = readJson(log.recent(limit));
    EXPECT_TRUE(read);
    EXPECT_EQ(read.value.find("capacity").asUInt64(), TrafficLog::kMaxEntries);
    return std::move(read.value.member("entries"));
}

BindingValue logLine(std::string message) {
    BindingValue entry;
    entry.member("level").setString("info");
    entry.member("message").setString(message);
    return entry;
}

TEST(TrafficLog, KeepsTheLastEntriesOldestFirst) {
    TrafficLog log;
    EXPECT_EQ(entries(log, 10).size(), 0u);
    const std::uint64_t reserved = log.reserve();
    for (std::size_t i = 0; i < TrafficLog::kMaxEntries + 5; ++i) {
        log.add(TrafficKind::Log, logLine(std::to_string(i)), reserved);
    }
    log.add(TrafficKind::Api, BindingValue(), 0, reserved);
    struct Row {
        std::size_t limit;
        std::size_t listed;
        std::string first;  // the first listed entry's message
    };
    const std::string last = std::to_string(TrafficLog::kMaxEntries + 4);
    for (const Row& row :
         std::vector<Row>{{1, 1, ""},
                          {3, 3, std::to_string(TrafficLog::kMaxEntries + 3)},
                          {TrafficLog::kMaxEntries, TrafficLog::kMaxEntries, "6"},
                          {TrafficLog::kMaxEntries + 1, TrafficLog::kMaxEntries, "6"}}) {
        SCOPED_TRACE(row.limit);
        const BindingValue listed = entries(log, row.limit);
        ASSERT_EQ(listed.size(), row.listed);
        const BindingValue* first = listed.elementAt(0).tryFind("message");
        EXPECT_EQ(first ? std::string(first->asString()) : "", row.first);
        // Newest last: the API request added last under its reserved number.
        EXPECT_EQ(listed.elementAt(listed.size() - 1).find("kind").asString(), "api");
        EXPECT_EQ(listed.elementAt(listed.size() - 1).find("seq").asUInt64(), reserved);
    }
    const BindingValue all = entries(log, TrafficLog::kMaxEntries);
    const BindingValue& previous = all.elementAt(all.size() - 2);
    EXPECT_EQ(previous.find("message").asString(), last);
    EXPECT_EQ(previous.find("seq").asUInt64(), reserved + TrafficLog::kMaxEntries + 5);
    EXPECT_EQ(previous.find("cause").asUInt64(), reserved);
    EXPECT_EQ(previous.find("kind").asString(), "log");
    EXPECT_EQ(all.elementAt(0).find("seq").asUInt64() + 1, all.elementAt(1).find("seq").asUInt64());
}

TEST(TrafficLog, CutsOnlyLongMembersOfLongEntries) {
    constexpr std::size_t kMember = TrafficLog::kMaxEntryBytes / 4;
    struct Row {
        std::string name;
        std::vector<std::size_t> sizes;  // of message, of request.bodyText, of name
        std::vector<std::string> cut;    // the paths in "cut"
    };
    const std::vector<Row> rows = {
        {"short entry, long member", {kMember + 1, 0, 0}, {}},
        {"long entry, each member short", {kMember, kMember, kMember, kMember, kMember}, {}},
        {"long entry, one member long", {TrafficLog::kMaxEntryBytes, 0, 0}, {"message"}},
        {"nested member", {0, TrafficLog::kMaxEntryBytes, 0}, {"request.bodyText"}},
        {"three long",
         {kMember + 1, 3 * kMember, kMember + 1},
         {"message", "name", "request.bodyText"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TrafficLog log;
        BindingValue entry;
        entry.member("message").setString(std::string(row.sizes[0], 'm'));
        entry.member("request").member("bodyText").setString(std::string(row.sizes[1], 'b'));
        entry.member("name").setString(std::string(row.sizes[2], 'n'));
        for (std::size_t i = 3; i < row.sizes.size(); ++i) {
            entry.member("extra" + std::to_string(i)).setString(std::string(row.sizes[i], 'e'));
        }
        log.add(TrafficKind::Log, entry);
        const BindingValue kept = entries(log, 1).elementAt(0);
        const BindingValue* cut = kept.tryFind("cut");
        ASSERT_EQ(cut != nullptr, !row.cut.empty()) << log.recent(1).substr(0, 200);
        if (cut == nullptr) {
            EXPECT_EQ(kept.find("message").asString().size(), row.sizes[0]);
            continue;
        }
        EXPECT_LE(log.recent(1).size(), TrafficLog::kMaxEntryBytes);
        std::vector<std::string> paths;
        for (const BindingMember& member : cut->members()) {
            paths.emplace_back(member.key());
        }
        EXPECT_EQ(paths, row.cut);
        if (const BindingValue* bodyCut = cut->tryFind("request.bodyText")) {
            EXPECT_EQ(bodyCut->asUInt64(), row.sizes[1]);
            EXPECT_EQ(kept.find("request").find("bodyText").asString(), std::string(kMember, 'b'));
        }
    }
}

TEST(TrafficLog, ACutEndsOnAWholeCharacterAndARecordingIsWhole) {
    const std::string path =
        ::testing::TempDir() + "traffic_log_test_" + std::to_string(getpid()) + ".jsonl";
    std::string error;
    std::string text = "x";
    while (text.size() < TrafficLog::kMaxEntryBytes) {
        text += "\xc3\xa9";  // two bytes a character, from an odd offset
    }
    {
        TrafficLog log;
        BindingValue header;
        header.member("trace").setUInt64(1);
        ASSERT_TRUE(log.record(path, header, error)) << error;
        log.add(TrafficKind::Log, logLine(text));
        const std::string kept(entries(log, 1).elementAt(0).find("message").asString());
        EXPECT_EQ(kept.size(), TrafficLog::kMaxEntryBytes / 4 - 1);
        EXPECT_TRUE(text.starts_with(kept));
    }
    std::ifstream file(path);
    std::string line;
    ASSERT_TRUE(std::getline(file, line));
    EXPECT_EQ(line, R"({"trace":1})");
    ASSERT_TRUE(std::getline(file, line));
    BindingResult recorded = readJson(line);
    ASSERT_TRUE(recorded) << line.substr(0, 100);
    EXPECT_EQ(recorded.value.find("message").asString(), text);
    EXPECT_EQ(recorded.value.tryFind("cut"), nullptr);
    std::remove(path.c_str());
    EXPECT_FALSE(
        TrafficLog().record(::testing::TempDir() + "no/such/dir/x", BindingValue(), error));
}

TEST(TrafficLog, BodiesComeBackAsSent) {
    struct Row {
        const char* contentType;
        std::string bytes;
        const char* member;  // where the body is kept
    };
    const std::vector<Row> rows = {
        {"application/json", R"({"a":1})", "body"},
        {"", R"([1,2])", "body"},
        {"application/json", R"({"a": 1})", "bodyText"},
        {"application/json", "not json", "bodyText"},
        {"text/plain", "h\xc3\xa9llo", "bodyText"},
        {"application/octet-stream", std::string("\x00\xff\x80", 3), "bodyBase64"},
        {"application/json", "", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        BindingValue into;
        putBody(into, row.contentType, row.bytes);
        if (row.member == nullptr) {
            EXPECT_EQ(into.kind(), BindingValueKind::Empty);
        } else {
            EXPECT_NE(into.tryFind(row.member), nullptr) << writeJson(into);
        }
        EXPECT_EQ(bodyBytes(into), row.bytes);
    }
}

}  // namespace
}  // namespace tav::devhost

// The traffic as a user reads it: a PATCH, the request the module forwarded
// for it and the event that followed share its number; the list's limit is
// checked; a recording is on disk as soon as each entry is. The log's own
// bounds and cuts are TrafficLog's test, in process.
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "devhost_process.h"
#include "formats/json.h"

namespace tav::testing {
namespace {

constexpr const char* kApi = "/tav-champ-select/v1";

class DevhostTraffic : public SharedDevhostTest {
protected:
    BindingValue traffic(const std::string& query, int expectedStatus = 200) {
        const auto client = process_->client();
        const auto answer =
            client->Get("/_dev/traffic" + query, {{"X-Tav-Dev-Token", process_->token()}});
        EXPECT_TRUE(answer && answer->status == expectedStatus)
            << (answer ? answer->body : "no answer");
        BindingResult read = readJson(answer ? answer->body : "");
        return std::move(read.value);
    }
};

// The last entry of kind with member at path holding text.
const BindingValue* lastEntry(const BindingValue& list, std::string_view kind,
                              std::string_view text) {
    const BindingValue* found = nullptr;
    for (const BindingValue& entry : list.find("entries").elements()) {
        if (entry.find("kind").asString() == kind &&
            writeJson(entry).find(text) != std::string::npos) {
            found = &entry;
        }
    }
    return found;
}

// Not into a list that is gone once the call's line ends.
const BindingValue* lastEntry(BindingValue&& list, std::string_view kind,
                              std::string_view text) = delete;

TEST_F(DevhostTraffic, WhatARequestCausedCarriesItsNumber) {
    EventReader stream(*process_, "/_dev/traffic/stream?token=" + process_->token(),
                       "event: traffic-open\ndata: {\"capacity\":2000}");
    const auto client = process_->client();
    ASSERT_TRUE(client->Patch(std::string(kApi) + "/session/my-selection", R"({"spell1Id": 6})",
                              "application/json"));
    const BindingValue list = traffic("?limit=50");
    const BindingValue* patch = lastEntry(list, "api", "/session/my-selection\"");
    ASSERT_NE(patch, nullptr) << writeJson(list);
    const std::uint64_t seq = patch->find("seq").asUInt64();
    EXPECT_EQ(patch->find("request").find("body"), readJson(R"({"spell1Id": 6})").value);
    const BindingValue* forwarded = lastEntry(list, "host-request", "/session/my-selection\"");
    const BindingValue* update = lastEntry(list, "event-in", "\"Update\"");
    const BindingValue* published = lastEntry(list, "event-out", "\"Update\"");
    for (const BindingValue* caused : {forwarded, update, published}) {
        ASSERT_NE(caused, nullptr) << writeJson(list);
        EXPECT_EQ(caused->find("cause").asUInt64(), seq) << writeJson(*caused);
        EXPECT_LT(caused->find("seq").asUInt64(), seq + 10);
    }
    EXPECT_EQ(forwarded->find("request").find("method").asString(), "PATCH");
    EXPECT_TRUE(stream.waitFor({"event: traffic\ndata: {", "\"spell1Id\":6"})) << stream.text();
}

TEST_F(DevhostTraffic, TheLimitIsOneNumberInRange) {
    for (const char* wrong : {"?limit=0", "?limit=2001", "?limit=x", "?limit=1&limit=2"}) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(traffic(wrong, 400).find("message").asString(),
                  "limit must be one number from 1 to 2000");
    }
    EXPECT_EQ(traffic("?limit=1").find("entries").size(), 1u);
    traffic("?limit=2000");
}

TEST(DevhostRecording, EachEntryIsOnDiskOnceItIsComplete) {
    const std::string path =
        ::testing::TempDir() + "recording_" + std::to_string(getpid()) + ".jsonl";
    DevhostProcess process({"--record", path}, true);
    ASSERT_TRUE(process.serving()) << process.stderrText();
    const auto client = process.client();
    ASSERT_TRUE(client->Get(std::string(kApi) + "/session/timer"));
    // Still running, never stopped: what a crash would leave.
    std::ifstream file(path);
    std::string line;
    std::vector<BindingValue> entries;
    while (std::getline(file, line)) {
        BindingResult read = readJson(line);
        ASSERT_TRUE(read) << line;
        entries.push_back(std::move(read.value));
    }
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries.front().find("trace").asUInt64(), 1u);
    EXPECT_EQ(entries.front().find("module").find("version").asString(), "18.0.0");
    EXPECT_EQ(entries.front().find("module").find("sha256").asString().size(), 64u);
    EXPECT_EQ(entries.back().find("kind").asString(), "api");
    EXPECT_EQ(entries.back().find("request").find("target").asString(),
              std::string(kApi) + "/session/timer");
    expectCleanExit(process);
}

}  // namespace
}  // namespace tav::testing

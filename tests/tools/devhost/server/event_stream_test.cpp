// The event stream's ids and its resume: a client that comes back with the
// last id it saw gets what it missed (log lines only if it asked for them),
// and one whose id is older than what is kept, or not this run's, is told
// so once and goes on live. (A real drop and reconnect: devhost_runner_test.)
#include "server/event_stream.h"

#include <string>

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

const std::string kGreeting = "event: devhost\ndata: {}\n\n";

// What a client connecting with lastEventId has queued, after the greeting.
std::string resumed(EventStream& stream, const std::string& lastEventId, bool withLogs = false) {
    const auto client = stream.connect(withLogs, "devhost", "{}", lastEventId);
    std::string text;
    EXPECT_TRUE(client != nullptr && client->take(text)) << "the stream ended";
    EXPECT_TRUE(text.starts_with(kGreeting)) << text;
    return text.substr(std::min(text.size(), kGreeting.size()));
}

std::string missed(const std::string& id, const char* lastEventId, const char* firstKept,
                   const char* reason) {
    return "id: " + id + "\nevent: events-missed\ndata: {\"lastEventId\":" + lastEventId +
           ",\"firstKeptId\":" + firstKept + ",\"reason\":\"" + reason +
           "; read the state again, events go on from here\"}\n\n";
}

TEST(EventStreamTest, ResumesAfterTheLastIdItSaw) {
    EventStream stream;
    stream.publish("plugin", "1");
    stream.publishLog("2");
    stream.publish("plugin", "3");
    const char* notOurs = "This id is not one of this run's events";
    struct Row {
        const char* lastEventId;
        bool withLogs;
        std::string after;
    };
    const Row rows[] = {
        {"1", true, "id: 2\nevent: log\ndata: 2\n\nid: 3\nevent: plugin\ndata: 3\n\n"},
        {"1", false, "id: 3\nevent: plugin\ndata: 3\n\n"},
        {"3", true, ""},
        {"0", false, "id: 1\nevent: plugin\ndata: 1\n\nid: 3\nevent: plugin\ndata: 3\n\n"},
        {"4", false, missed("3", "4", "1", notOurs)},
        {"x", false, missed("3", "null", "1", notOurs)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lastEventId);
        EXPECT_EQ(resumed(stream, row.lastEventId, row.withLogs), row.after);
    }
}

TEST(EventStreamTest, WhatIsKeptIsBoundedAndAnOlderIdIsToldSo) {
    EventStream stream;
    for (std::size_t i = 0; i < EventStream::kKeptEvents + 5; ++i) {
        stream.publish("plugin", "{}");
    }
    EXPECT_EQ(resumed(stream, "4"),
              missed("1029", "4", "6", "The events after this id are no longer kept"));
    const std::string all = resumed(stream, "5");
    EXPECT_TRUE(all.starts_with("id: 6\n") &&
                all.ends_with("id: 1029\nevent: plugin\ndata: {}\n\n"));

    // Large events are kept by their bytes: a resume never ends its stream.
    const std::string large(16 * 1024, 'x');
    for (int i = 0; i < 40; ++i) {
        stream.publish("plugin", large);
    }
    const std::string told = resumed(stream, "0");
    const std::size_t at = told.find("\"firstKeptId\":") + 14;
    const std::string before = std::to_string(std::stoull(told.substr(at)) - 1);
    EXPECT_GT(resumed(stream, before).size(), EventStream::kKeptBytes - 2 * large.size());
}

}  // namespace
}  // namespace tav::devhost

// The event stream's ids and its resume: a client that comes back with the
// last id it saw gets what it missed (log lines only if it asked for them),
// and one whose id is older than what is kept, or not this run's, is told
// so once and goes on live.
#include "server/event_stream.h"

#include <string>

#include <gtest/gtest.h>

namespace tav::devhost {
namespace {

constexpr std::string_view kGreeting = "event: devhost\ndata: {}\n\n";

std::string taken(EventStream::Client& client) {
    std::string text;
    EXPECT_TRUE(client.take(text)) << "the stream ended";
    return text;
}

std::string missed(std::string_view lastEventId, std::string_view firstKept,
                   std::string_view reason) {
    return R"({"lastEventId":)" + std::string(lastEventId) + R"(,"firstKeptId":)" +
           std::string(firstKept) + R"(,"reason":")" + std::string(reason) +
           R"(; read the state again, events go on from here"})";
}

TEST(EventStreamTest, ResumesAfterTheLastIdItSaw) {
    EventStream stream;
    stream.publish("plugin", "1");
    stream.publishLog("2");
    stream.publish("plugin", "3");
    const std::string unknown = "id: 3\nevent: events-missed\ndata: ";
    const std::string notOurs = "This id is not one of this run's events";
    struct Row {
        const char* lastEventId;
        bool withLogs;
        std::string after;  // the greeting
    };
    const Row rows[] = {
        {"1", true, "id: 2\nevent: log\ndata: 2\n\nid: 3\nevent: plugin\ndata: 3\n\n"},
        {"1", false, "id: 3\nevent: plugin\ndata: 3\n\n"},
        {"3", true, ""},
        {"0", false, "id: 1\nevent: plugin\ndata: 1\n\nid: 3\nevent: plugin\ndata: 3\n\n"},
        {"4", false, unknown + missed("4", "1", notOurs) + "\n\n"},
        {"x", false, unknown + missed("null", "1", notOurs) + "\n\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lastEventId);
        const auto client = stream.connect(row.withLogs, "devhost", "{}", row.lastEventId);
        ASSERT_NE(client, nullptr);
        EXPECT_EQ(taken(*client), std::string(kGreeting) + row.after);
    }
    const auto client = stream.connect(false, "devhost", "{}", "3");
    stream.publish("plugin", "live");
    EXPECT_EQ(taken(*client), std::string(kGreeting) + "id: 4\nevent: plugin\ndata: live\n\n");
}

TEST(EventStreamTest, WhatIsKeptIsBoundedAndAnOlderIdIsToldSo) {
    EventStream stream;
    for (std::size_t i = 0; i < EventStream::kKeptEvents + 5; ++i) {
        stream.publish("plugin", "{}");
    }
    const auto old = stream.connect(false, "devhost", "{}", "4");
    EXPECT_EQ(taken(*old), std::string(kGreeting) + "id: 1029\nevent: events-missed\ndata: " +
                               missed("4", "6", "The events after this id are no longer kept") +
                               "\n\n");
    const std::string resumed = taken(*stream.connect(false, "devhost", "{}", "5"));
    EXPECT_TRUE(resumed.starts_with(std::string(kGreeting) + "id: 6\n")) << resumed.substr(0, 80);
    EXPECT_TRUE(resumed.ends_with("id: 1029\nevent: plugin\ndata: {}\n\n"));

    // Large events are kept by their bytes, which a resume never finds too
    // many for its queue.
    const std::string large(16 * 1024, 'x');
    for (int i = 0; i < 40; ++i) {
        stream.publish("plugin", large);
    }
    const std::string told = taken(*stream.connect(false, "devhost", "{}", "0"));
    const std::size_t at = told.find(R"("firstKeptId":)") + 14;
    const std::string firstKept = told.substr(at, told.find(',', at) - at);
    const std::string all =
        taken(*stream.connect(false, "devhost", "{}", std::to_string(std::stoull(firstKept) - 1)));
    EXPECT_GT(all.size(), EventStream::kKeptBytes - 2 * large.size());
    EXPECT_LE(all.size(), EventStream::kKeptBytes + kGreeting.size());
}

TEST(EventStreamTest, DroppedClientsEndAfterWhatTheyHadAndNewOnesAreServed) {
    EventStream stream;
    const auto client = stream.connect(false, "devhost", "{}");
    stream.publish("plugin", "1");
    EXPECT_EQ(stream.dropClients(), 1u);
    stream.publish("plugin", "2");
    std::string text;
    EXPECT_FALSE(client->take(text));
    EXPECT_EQ(text, std::string(kGreeting) + "id: 1\nevent: plugin\ndata: 1\n\n");
    const auto again = stream.connect(false, "devhost", "{}", "1");
    EXPECT_EQ(taken(*again), std::string(kGreeting) + "id: 2\nevent: plugin\ndata: 2\n\n");
}

}  // namespace
}  // namespace tav::devhost

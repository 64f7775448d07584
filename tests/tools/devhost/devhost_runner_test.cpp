// What a test runner and a front end's error handling use, over HTTP with
// one tool: the ready file and a fixed token, an answer held back by a
// scripted delay or hang while the tool goes on serving, and a dropped event
// stream that a reconnection resumes from its last id. (The bookkeeping of
// scripted answers and the stream's resume in detail are their parts'
// tests: simulation/scripted_answers_test.cpp, server/event_stream_test.cpp.)
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kToken = "runner.token-0123456789_~";

class DevhostRunner : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        readyFile_ = ::testing::TempDir() + "devhost_runner_" + std::to_string(getpid()) + ".url";
        std::ofstream(readyFile_) << "left by an earlier run\n";
        process_ = new DevhostProcess(
            {"--token", kToken, "--ready-file", readyFile_, "--hang-limit", "1"});
    }
    static void TearDownTestSuite() {
        expectCleanExit(*process_);
        delete process_;
        process_ = nullptr;
        EXPECT_FALSE(std::filesystem::exists(readyFile_));
    }
    void SetUp() override { ASSERT_TRUE(process_->serving()) << process_->stderrText(); }

    static httplib::Headers token() { return {{"X-Tav-Dev-Token", kToken}}; }
    void script(const std::string& answer) {
        const auto posted =
            client_->Post("/_dev/answers", token(), R"({"implementation": "legacy", )" + answer,
                          "application/json");
        ASSERT_TRUE(posted);
        ASSERT_EQ(posted->status, 204) << posted->body;
    }

    static inline DevhostProcess* process_ = nullptr;
    static inline std::string readyFile_;
    std::unique_ptr<httplib::Client> client_ = process_->client();
};

TEST_F(DevhostRunner, TheReadyFileGivesThePageWithTheFixedToken) {
    // Written just after the start line, whole: a poll sees the old file
    // gone, then the new one.
    std::string text;
    for (const auto until = std::chrono::steady_clock::now() + 60s;
         text.empty() && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(20ms)) {
        std::ifstream in(readyFile_);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_EQ(text, process_->base() + "/?token=" + kToken + "\n");
    EXPECT_EQ(process_->token(), kToken);

    EXPECT_EQ(client_->Get("/_dev/answers", token())->status, 200);
    EXPECT_EQ(
        client_->Get("/_dev/answers", {{"X-Tav-Dev-Token", "runner.token-0123456780_~"}})->status,
        403);
}

TEST_F(DevhostRunner, DelayedAndHungAnswersComeLateWhileTheToolServes) {
    const auto delay = scaled(2000ms);
    script(R"("method": "GET", "url": "v1/team-boost", "times": 1, "delayMs": )" +
           std::to_string(delay.count()) + "}");
    const auto own = process_->client();
    const auto start = std::chrono::steady_clock::now();
    auto delayed = std::async(std::launch::async, [&] {
        const auto result = own->Get("/tav-champ-select/v1/team-boost");
        return std::pair(result ? result->status : -1, std::chrono::steady_clock::now() - start);
    });
    // Once its answer is used up the module has had it: the API answer is
    // being held, and the module, the simulation and the server go on.
    std::string listed = "v1/team-boost";
    for (const auto until = std::chrono::steady_clock::now() + 60s;
         listed.find("v1/team-boost") != std::string::npos &&
         std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(10ms)) {
        const auto answers = client_->Get("/_dev/answers", token());
        ASSERT_TRUE(answers);
        listed = answers->body;
    }
    EXPECT_EQ(client_->Get("/tav-champ-select/v1/session")->status, 200);
    EXPECT_EQ(delayed.wait_for(0s), std::future_status::timeout);
    const auto [status, took] = delayed.get();
    EXPECT_EQ(status, 200);
    EXPECT_GE(took, delay);

    script(R"("method": "GET", "url": "v1/session/timer", "times": 1, "hang": true})");
    const auto asked = std::chrono::steady_clock::now();
    const auto hung = client_->Get("/tav-champ-select/v1/session/timer");
    ASSERT_TRUE(hung);
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 1s);
    EXPECT_EQ(hung->status, 504);
    EXPECT_EQ(hung->body,
              R"({"errorCode":"Gateway Timeout","httpStatus":504,"message":"Scripted to hang: )"
              R"(GET v1/session/timer of the legacy implementation gave no answer within the )"
              R"x(hang limit of 1 s (--hang-limit)"})x");
}

TEST_F(DevhostRunner, ADroppedStreamResumesFromItsLastId) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(process_->port()) + "\r\n";
    const auto put = [&](const char* championIds) {
        const auto answer = client_->Put("/_dev/resources/legacy/v1/pickable-champions", token(),
                                         std::string(R"({"championIds": )") + championIds + "}",
                                         "application/json");
        ASSERT_TRUE(answer);
        ASSERT_EQ(answer->status, 204);
    };
    // What a stream sent until the drop ended it.
    const auto untilDropped = [&](RawSocket& stream) {
        const auto drop = client_->Post("/_dev/events/drop", token(), "", "application/json");
        EXPECT_TRUE(drop && drop->body == R"({"dropped":1})");
        const std::string text = stream.readToEnd(scaled(10s));
        EXPECT_TRUE(stream.closed());
        return text;
    };
    const auto open = [&](RawSocket& stream, const std::string& fields) {
        ASSERT_TRUE(stream.send("GET /events HTTP/1.1\r\n" + host + fields + "\r\n"));
        ASSERT_EQ(stream.answer(60s, true).status, 200);
    };

    RawSocket first(process_->port());
    open(first, "");
    put("[1]");
    const std::string before = untilDropped(first);
    ASSERT_NE(before.find(R"("championIds":[1])"), std::string::npos) << before;
    const std::size_t at = before.rfind("\nid: ") + 5;
    ASSERT_NE(at, std::string::npos + 5) << before;
    const std::string lastId = before.substr(at, before.find('\n', at) - at);

    put("[2]");  // missed
    RawSocket second(process_->port());
    open(second, "Last-Event-ID: " + lastId + "\r\n");
    const std::string resumed = untilDropped(second);
    EXPECT_NE(resumed.find("event: devhost"), std::string::npos) << resumed;
    EXPECT_NE(resumed.find("\nid: " + std::to_string(std::stoull(lastId) + 1) +
                           "\nevent: plugin\ndata: {\"data\":{\"championIds\":[2]}"),
              std::string::npos)
        << resumed;
    EXPECT_EQ(resumed.find(R"("championIds":[1])"), std::string::npos) << resumed;
}

}  // namespace
}  // namespace tav::testing

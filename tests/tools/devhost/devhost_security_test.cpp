// What keeps the tool local: the Host check, the control token, the bounds on
// bodies and headers, and escaping before request text reaches stderr.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "devhost_process.h"

namespace tav::testing {
namespace {

using DevhostSecurity = SharedDevhostTest;

// Sends raw request bytes; the status line of the answer.
std::string rawStatusLine(int port, const std::string& request) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
        char buffer[512];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        answer.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    close(fd);
    return answer.substr(0, answer.find("\r\n"));
}

TEST_F(DevhostSecurity, AnswersOnlyToItsOwnHostNames) {
    auto client = process_->client();
    const std::string port = std::to_string(process_->port());
    struct Case {
        std::string host;
        int status;
    };
    const Case cases[] = {
        {"127.0.0.1:" + port, 200},
        {"localhost:" + port, 200},
        {"LocalHost:" + port, 200},
        {"attacker.example:" + port, 421},
        {"127.0.0.1:" + port + "0", 421},
        {"127.0.0.1", 421},
        {"localhost.attacker.example:" + port, 421},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        for (const char* path : {"/tav-champ-select/v1/session", "/page/index.html"}) {
            const auto result = client->Get(path, {{"Host", c.host}});
            ASSERT_TRUE(result);
            EXPECT_EQ(result->status, c.status) << path;
        }
    }
    const auto refused = client->Get("/", {{"Host", "attacker.example"}});
    EXPECT_EQ(refused->body, R"({"errorCode":"Misdirected Request","httpStatus":421,)"
                             R"("message":"This server answers only to 127.0.0.1 and localhost"})");
}

TEST_F(DevhostSecurity, ControlRoutesNeedTheToken) {
    auto client = process_->client();
    const std::string& token = process_->token();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(client->Get("/_dev/state")->status, 403);
    EXPECT_EQ(client->Get("/_dev/state", {{"X-Tav-Dev-Token", std::string(32, '0')}})->status, 403);
    EXPECT_EQ(client->Get("/_dev/state?token=" + token.substr(1))->status, 403);
    EXPECT_EQ(
        client->Post("/_dev/active", R"({"implementation": null})", "application/json")->status,
        403);
    EXPECT_EQ(client->Get("/_dev/state", {{"X-Tav-Dev-Token", token}})->status, 200);
    EXPECT_EQ(client->Get("/_dev/state?token=" + token)->status, 200);
    // The page, the API and the stream's own routes need none.
    EXPECT_EQ(client->Get("/")->status, 200);
    EXPECT_EQ(client->Get("/openapi.json")->status, 200);
}

TEST_F(DevhostSecurity, BoundsBodiesAndHeaders) {
    auto client = process_->client();
    const std::string big(std::size_t{1} << 20 | 1, ' ');
    const auto tooBig =
        client->Patch("/tav-champ-select/v1/session/my-selection", big, "application/json");
    ASSERT_TRUE(tooBig);
    EXPECT_EQ(tooBig->status, 413);

    httplib::Headers many;
    for (int i = 0; i < 70; ++i) {
        many.emplace("X-Filler-" + std::to_string(i), "x");
    }
    const auto tooMany = client->Get("/tav-champ-select/v1/session", many);
    ASSERT_TRUE(tooMany);
    EXPECT_EQ(tooMany->status, 431);

    const std::string port = std::to_string(process_->port());
    EXPECT_EQ(
        rawStatusLine(process_->port(), "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                                            "\r\nX-Long: " + std::string(9000, 'x') + "\r\n\r\n"),
        "HTTP/1.1 400 Bad Request");
}

TEST_F(DevhostSecurity, EscapesRequestTextInItsLog) {
    const std::string status =
        rawStatusLine(process_->port(), "GET / HTTP/1.1\r\nHost: evil\x1b[2J\"\xff:1\r\n\r\n");
    EXPECT_EQ(status, "HTTP/1.1 421 Misdirected Request");
    EXPECT_TRUE(process_->waitForStderr(
        R"(tav-devhost: refused a request for Host "evil\x1b[2J\"\xff:1")"));
}

}  // namespace
}  // namespace tav::testing

// Hostile requests through real sockets: what a foreign web page, a confused
// proxy, or a slow or greedy client can send. Each is refused (or served) as
// docs/devhost.md's trust table and limits say, without changing the simulated state, stalling
// other clients or growing the tool's memory.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "devhost_process.h"
#include "formats/json.h"

namespace tav::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kAllowedOrigin = "http://localhost:5173";
constexpr const char* kSession = "/tav-champ-select/v1/session";
constexpr const char* kPurchase = "/tav-champ-select/v1/team-boost/purchase";
constexpr const char* kMySelection = "/tav-champ-select/v1/session/my-selection";
constexpr std::size_t kMiB = std::size_t{1} << 20;

std::string request(std::string_view method, std::string_view target, std::string_view fields,
                    std::string_view body = {}) {
    std::string text(method);
    text.append(" ").append(target).append(" HTTP/1.1\r\n").append(fields).append("\r\n");
    return text.append(body);
}

// The body in 64 KiB chunks.
std::string chunked(std::string_view method, std::string_view target, std::string fields,
                    std::string_view body) {
    std::string text = request(method, target, fields + "Transfer-Encoding: chunked\r\n");
    for (std::size_t at = 0; at < body.size(); at += 65536) {
        const std::string_view piece = body.substr(at, 65536);
        char size[24];
        std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        text.append(size).append(piece).append("\r\n");
    }
    return text.append("0\r\n\r\n");
}

std::string fillerFields(int count, std::size_t valueBytes = 1) {
    std::string fields;
    for (int i = 0; i < count; ++i) {
        fields += "X-Filler-" + std::to_string(i) + ": " + std::string(valueBytes, 'x') + "\r\n";
    }
    return fields;
}

// The error object the contract promises, nothing more.
void expectErrorObject(const RawAnswer& answer) {
    const std::regex shape(R"(\{"errorCode":"[^"]+","httpStatus":)" +
                           std::to_string(answer.status) + R"(,"message":"([^"\\]|\\.)+"\})");
    EXPECT_TRUE(std::regex_match(answer.body, shape)) << answer.body;
}

class DevhostSecurity : public SharedDevhostTest {
protected:
    static void SetUpTestSuite() {
        process_ = new DevhostProcess({"--allow-origin", kAllowedOrigin});
    }

    static std::string port() { return std::to_string(process_->port()); }
    static std::string hostField() { return "Host: 127.0.0.1:" + port() + "\r\n"; }
    static std::string tokenField() { return "X-Tav-Dev-Token: " + process_->token() + "\r\n"; }

    // What a refused request must leave alone: every implementation's state
    // (the active one included), the session the module answers, and the
    // tool serving at all.
    static std::string observable() {
        auto client = process_->client();
        const auto state = client->Get("/_dev/state", {{"X-Tav-Dev-Token", process_->token()}});
        const auto session = client->Get(kSession);
        if (!state || !session) {
            return "not serving";
        }
        // The session's timer runs (a flat record); everything else must stay.
        std::string body = session->body;
        if (const std::size_t timer = body.find("\"timer\":{"); timer != std::string::npos) {
            body.erase(timer, body.find('}', timer) + 1 - timer);
        }
        return state->body + "\n" + body;
    }
};

enum class After { kSame, kChanged };

struct Hostile {
    std::string name;
    std::string request;
    int status;
    After after = After::kSame;
    std::string has = {};  // a piece of the head or the body
    // The answer must come well before the 5 s deadline for a request.
    bool prompt = false;
};

TEST_F(DevhostSecurity, HostileRequests) {
    const std::string host = hostField();
    const std::string token = tokenField();
    const std::string& secret = process_->token();
    ASSERT_EQ(secret.size(), 32u);
    const std::string wrong(32, '0');
    const std::string evil = "Origin: http://evil.example\r\n";
    const auto get = [&](std::string_view target, const std::string& fields = "") {
        return request("GET", target, host + fields);
    };
    const auto withHost = [&](std::string_view name, std::string_view target = kSession) {
        return request("GET", target, "Host: " + std::string(name) + "\r\n");
    };
    const std::string activate = R"({"implementation": "team-builder"})";
    const auto setActive = [&](std::string_view target, const std::string& fields) {
        return request("POST", target,
                       host + fields + "Content-Type: application/json\r\nContent-Length: " +
                           std::to_string(activate.size()) + "\r\n",
                       activate);
    };
    const std::string state = R"("activeImplementation":"legacy")";
    std::string oneMiB = R"({"spell1Id": 6})";
    oneMiB.resize(kMiB, ' ');
    const std::string json = "Content-Type: application/json\r\n";
    const auto accept = [&](const char* types) {
        return get(kSession, "Accept: " + std::string(types) + "\r\n");
    };
    const std::string asJson = "Content-Type: application/json";

    // One row per rule and verdict; the variants of each are the parts'
    // tables (RequestTarget's forms of a path, OriginPolicy's origins).
    const std::vector<Hostile> rows = {
        // The path is checked as it is routed, decoded and resolved: an
        // escaped control route needs the token.
        {"escaped control route", get("/%5Fdev/./state"), 403},
        {"token", get("/_dev/state", token), 200, After::kSame, state},
        {"query token", get("/_dev/state?token=" + secret), 200, After::kSame, state},
        {"short query token", get("/_dev/state?token=" + secret.substr(1)), 403},
        {"last digit wrong",
         get("/_dev/state?token=" + secret.substr(0, 31) + (secret.back() == '0' ? "1" : "0")),
         403},
        {"malformed escape", get("/%zz"), 400},
        {"request line under 8 KiB", get("/" + std::string(8000, 'a')), 404},

        // The token, given once.
        {"right header, wrong query", setActive("/_dev/active?token=" + wrong, token), 403},
        {"right, wrong query", setActive("/_dev/active?token=" + secret + "&token=" + wrong, ""),
         403},

        // Origins and fetch metadata, one of each verdict.
        {"form post",
         request("POST", kPurchase,
                 host + evil + "Content-Type: text/plain\r\nContent-Length: 0\r\n"),
         403, After::kSame, "--allow-origin http://evil.example"},
        {"cross-site", get(kSession, "Sec-Fetch-Site: cross-site\r\n"), 403},
        {"own and foreign origin",
         get(kSession, "Origin: http://127.0.0.1:" + port() + "\r\n" + evil), 403},
        {"allowed origin", get(kSession, "Origin: " + std::string(kAllowedOrigin) + "\r\n"), 200},
        {"control, allowed origin",
         get("/_dev/state", token + "Origin: " + std::string(kAllowedOrigin) + "\r\n"), 403},

        // Host names, and the order of the checks.
        {"LocalHost", withHost("LocalHost:" + port()), 200},
        {"foreign name", withHost("attacker.example:" + port()), 421},
        {"longer port", withHost("127.0.0.1:" + port() + "0"), 421},
        {"no port", withHost("127.0.0.1"), 421},
        {"localhost as a prefix", withHost("localhost.attacker.example:" + port()), 421},
        {"one letter off", withHost("xocalhost:" + port()), 421},
        {"no Host", request("GET", kSession, ""), 421},
        {"a control byte in a field", withHost("evil\x1b[2J:1"), 400},
        {"a quote and a high byte", withHost("evil\"\xff:1"), 421},
        {"Host before path", withHost("attacker.example:" + port(), "/%zz"), 421},
        {"path before origin", get("/%zz", evil), 400},

        // Limits.
        {"Content-Length over 1 MiB",
         request("PATCH", kMySelection,
                 host + json + "Content-Length: " + std::to_string(kMiB + 1) + "\r\n"),
         413, After::kSame, "", true},
        {"chunked 3 MiB", chunked("PATCH", kMySelection, host + json, std::string(3 * kMiB, ' ')),
         413},
        {"chunked 1 MiB", chunked("PATCH", kMySelection, host + json, oneMiB), 204,
         After::kChanged},
        {"two lengths",
         request("POST", kPurchase, host + "Content-Length: 0\r\nContent-Length: 5\r\n", "hello"),
         400},
        {"64 fields", get(kSession, fillerFields(63, 100)), 200},
        {"65 fields", get(kSession, fillerFields(64)), 431},
        {"65 fields, longer", get(kSession, fillerFields(64, 100)), 431},
        {"field over 8 KiB", get(kSession, fillerFields(1, 8200)), 431},
        {"head over 64 KiB", get(kSession, fillerFields(9, 7600)), 431},
        {"request line over 8 KiB", "GET /" + std::string(9000, 'a'), 414, After::kSame, "", true},
        {"POST without a length", request("POST", kPurchase, host), 204, After::kChanged},

        // Content negotiation.
        {"MessagePack refused", accept("application/x-msgpack;q=0, application/json"), 200,
         After::kSame, asJson},
        {"MessagePack preferred", accept("application/json;q=0.5, application/x-msgpack"), 200,
         After::kSame, "Content-Type: application/x-msgpack"},
        {"a tie is JSON", accept("application/x-msgpack;q=0.8, application/json;q=0.8"), 200,
         After::kSame, asJson},
    };

    const std::string before = observable();
    ASSERT_NE(before, "not serving");
    for (const Hostile& row : rows) {
        SCOPED_TRACE(row.name);
        RawSocket socket(process_->port());
        ASSERT_TRUE(socket.connected());
        socket.send(row.request);
        // Natively "prompt" is 2 s; stretched, a late answer is still caught
        // by its status: after 5 s it would be 408.
        const RawAnswer answer = socket.answer(row.prompt ? scaled(2s) : 60s);
        EXPECT_EQ(answer.status, row.status) << answer.head << answer.body.substr(0, 300);
        if (row.status >= 400 && answer.status == row.status) {
            expectErrorObject(answer);
        }
        EXPECT_NE((answer.head + answer.body).find(row.has), std::string::npos)
            << answer.head << answer.body.substr(0, 300);
        if (row.after == After::kSame) {
            EXPECT_EQ(observable(), before);
        } else {
            EXPECT_NE(observable(), before);
            const auto reloaded = process_->client()->Post(
                "/_dev/reload", {{"X-Tav-Dev-Token", secret}}, "", "application/json");
            ASSERT_TRUE(reloaded && reloaded->status == 200);
            ASSERT_EQ(observable(), before);
        }
    }
    // Request text reaches stderr escaped: no terminal control, no raw byte.
    EXPECT_TRUE(
        process_->waitForStderr(R"(tav-devhost: refused a request for Host "evil\"\xff:1")"));
    const std::string log = process_->stderrText();
    EXPECT_EQ(log.find('\x1b'), std::string::npos) << log;
    EXPECT_EQ(log.find('\xff'), std::string::npos) << log;
}

TEST_F(DevhostSecurity, HeadAnswersLikeGetWithoutABody) {
    for (const char* path : {kSession, "/"}) {
        SCOPED_TRACE(path);
        const RawAnswer get = rawRequest(process_->port(), request("GET", path, hostField()));
        RawSocket socket(process_->port());
        ASSERT_TRUE(socket.send(request("HEAD", path, hostField() + "Connection: close\r\n")));
        const RawAnswer head = socket.answer(60s, true);
        EXPECT_EQ(get.status, 200);
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.header("Content-Length"), std::to_string(get.body.size())) << head.head;
        EXPECT_EQ(head.header("Content-Type"), get.header("Content-Type"));
        EXPECT_EQ(socket.readToEnd(scaled(5s)), "");
        EXPECT_TRUE(socket.closed());
    }
}

TEST_F(DevhostSecurity, ASecondToolOnItsPortExits) {
    const ToolRun run = runDevhost({"--port", port(), "--scenario", TAV_DEVHOST_DEMO});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("port " + port() + " is in use"), std::string::npos) << run.err;
    EXPECT_NE(observable(), "not serving");
}

// Sockets that trickle a request head byte by byte, and the full number of
// event streams, hold neither the tool's answers to others nor, past the
// 5 s deadline, their own connections. (No latency goal: the others need
// only be answered.)
TEST_F(DevhostSecurity, SlowClientsHoldNothing) {
    const int tool = process_->port();
    std::vector<std::unique_ptr<RawSocket>> streams;
    for (int i = 0; i < 16; ++i) {
        streams.push_back(std::make_unique<RawSocket>(tool));
        ASSERT_TRUE(streams.back()->send(request("GET", "/events", hostField())));
        ASSERT_EQ(streams.back()->answer(60s, true).status, 200) << i;
    }
    const RawAnswer refused = rawRequest(tool, request("GET", "/events", hostField()));
    EXPECT_EQ(refused.status, 503);

    struct Trickler {
        std::unique_ptr<RawSocket> socket;
        std::chrono::milliseconds period;
        Clock::time_point next;
        std::size_t sent = 1;
        std::optional<Clock::time_point> ended = {};
    };
    const std::string head = request("GET", kSession, hostField());
    const auto opened = Clock::now();
    std::vector<Trickler> tricklers;
    for (int i = 0; i < 24; ++i) {
        const std::chrono::milliseconds period(500 + i * 271 % 1500);
        tricklers.push_back({std::make_unique<RawSocket>(tool), period, opened + period});
        ASSERT_TRUE(tricklers.back().socket->send(head.substr(0, 1)));
    }

    auto client = process_->client();
    const auto limit = Clock::now() + 5s + scaled(3s);
    auto nextRequest = Clock::now();
    int answered = 0;
    for (bool open = true; open && Clock::now() < limit;) {
        open = false;
        for (Trickler& t : tricklers) {
            if (t.ended) {
                continue;
            }
            t.socket->drain();
            const auto now = Clock::now();
            if (t.socket->closed() || !t.socket->received().empty()) {
                t.ended = now;
            } else if (now >= t.next) {
                if (!t.socket->send(head.substr(t.sent++, 1))) {
                    t.ended = now;
                }
                t.next += t.period;
            }
            open = open || !t.ended;
        }
        for (auto& stream : streams) {
            stream->drain();
        }
        if (Clock::now() >= nextRequest) {
            const auto result = client->Get(kSession);
            EXPECT_TRUE(result && result->status == 200);
            ++answered;
            nextRequest = Clock::now() + 250ms;
        }
        std::this_thread::sleep_for(20ms);
    }

    EXPECT_GE(answered, 8);
    for (std::size_t i = 0; i < tricklers.size(); ++i) {
        SCOPED_TRACE("trickler " + std::to_string(i));
        const Trickler& t = tricklers[i];
        ASSERT_TRUE(t.ended) << "still open after " << t.sent << " bytes";
        const auto after = std::chrono::duration_cast<std::chrono::milliseconds>(*t.ended - opened);
        EXPECT_GE(after, 4s);
        EXPECT_LE(after, 5s + scaled(3s));
        const std::string& text = t.socket->received();
        EXPECT_TRUE(text.empty() || text.starts_with("HTTP/1.1 408")) << text;
    }
    for (auto& stream : streams) {
        stream->drain();
        EXPECT_FALSE(stream->closed());
    }
}

// Past 128 open connections a new one is closed at once; the tool answers
// again as soon as they go.
TEST_F(DevhostSecurity, CapsOpenConnections) {
    std::vector<std::unique_ptr<RawSocket>> open;
    for (int i = 0; i < 128; ++i) {
        open.push_back(std::make_unique<RawSocket>(process_->port()));
    }
    RawSocket refused(process_->port());
    EXPECT_EQ(refused.readToEnd(scaled(2s)), "");
    EXPECT_TRUE(refused.closed());
    std::size_t stillOpen = 0;
    for (auto& socket : open) {
        socket->drain();
        stillOpen += socket->closed() ? 0 : 1;
    }
    EXPECT_GE(stillOpen, 120u);  // the suite's own clients may hold a few
    open.clear();
    // The tool learns of each close when it reads the socket's end.
    int status = 0;
    for (const auto until = Clock::now() + scaled(2s); status != 200 && Clock::now() < until;) {
        status = rawRequest(process_->port(), request("GET", kSession, hostField())).status;
    }
    EXPECT_EQ(status, 200);
}

// The most the kernel buffers for a TCP socket's sending (4 MiB by default).
std::size_t largestSendBuffer() {
    std::ifstream limits("/proc/sys/net/ipv4/tcp_wmem");
    std::size_t least = 0;
    std::size_t initial = 0;
    std::size_t most = 0;
    return limits >> least >> initial >> most ? most : 4 * kMiB;
}

// A stream whose client stops reading is dropped once its queue passes
// 256 KiB, while a reading one goes on, and the tool does not keep what it
// could not send. Its tool, a second run, has a token of its own: a source
// that repeats (as std::random_device does on some MinGW runtimes) would give
// every run the same.
TEST_F(DevhostSecurity, AStreamThatDoesNotReadIsDropped) {
    DevhostProcess process;
    ASSERT_TRUE(process.serving()) << process.stderrText();
    EXPECT_TRUE(std::regex_match(process.token(), std::regex("[0-9a-f]{32}"))) << process.token();
    EXPECT_NE(process.token(), process_->token());
    auto client = process.client();
    const httplib::Headers token{{"X-Tav-Dev-Token", process.token()}};
    const auto state = client->Get("/_dev/state", token);
    ASSERT_TRUE(state && state->status == 200);
    BindingResult tree = readJson(state->body);
    ASSERT_TRUE(tree) << tree.error();
    BindingValue& session = tree.value.member("implementations")
                                .member("legacy")
                                .member("resources")
                                .member("v1/session");
    BindingValue& name = session.member("myTeam").element(0).member("displayName");
#ifdef TAV_SANITIZED
    const long residentBefore = -1;
#else
    const long residentBefore = procStatus(process.pid(), "VmRSS:");
#endif

    RawSocket stalled(process.port(), 4096);
    ASSERT_TRUE(stalled.send(request(
        "GET", "/events?log=1", "Host: 127.0.0.1:" + std::to_string(process.port()) + "\r\n")));
    ASSERT_EQ(stalled.answer(60s, true).status, 200);
    EventReader reading(process);
    // 64 KiB an event, until they are 1 MiB beyond the queue's bound plus
    // what the kernel may buffer for the socket. Each waits for the reading
    // stream, which under load could fall behind as well.
    const std::size_t puts = (largestSendBuffer() + 256 * 1024 + kMiB) / (64 * 1024);
    std::string marker;
    for (std::size_t i = 0; i < puts; ++i) {
        marker = "\"displayName\":\"put-" + std::to_string(i) + "-";
        name.setString(marker.substr(15) + std::string(64 * 1024, static_cast<char>('a' + i % 26)));
        const auto put = client->Put("/_dev/resources/legacy/v1/session", token, writeJson(session),
                                     "application/json");
        ASSERT_TRUE(put);
        ASSERT_EQ(put->status, 204) << put->body;
        ASSERT_TRUE(reading.waitFor({marker})) << i;
    }

    const std::string text = stalled.readToEnd(scaled(15s));
    EXPECT_TRUE(stalled.closed()) << "the stream is still open after " << text.size() << " bytes";
    EXPECT_EQ(text.find(marker), std::string::npos);
    if (const std::size_t closing = text.rfind("event: stream-closed");
        closing != std::string::npos) {
        EXPECT_EQ(text.rfind("event: "), closing);
    }
    if (residentBefore >= 0) {
        EXPECT_LE(procStatus(process.pid(), "VmRSS:") - residentBefore, 32 * 1024);
    }
    const auto after = client->Get(kSession);
    ASSERT_TRUE(after);
    EXPECT_NE(after->body.find(marker), std::string::npos);
    expectCleanExit(process);
}

}  // namespace
}  // namespace tav::testing

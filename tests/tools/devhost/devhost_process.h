// The tool as a user starts it: a child process with its command line, whose
// stderr is collected; started ones are waited for until their start line
// gives the port and the token, and stopped with SIGTERM (SIGINT for the tool
// named by TAV_DEVHOST_COMMAND). Also a raw client socket for requests no
// client library would send.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

namespace tav::testing {

class DevhostProcess {
public:
    // Starts the tool with args, and the demo scenario unless args name one
    // or tool is given. native: this build's own tool even when
    // TAV_DEVHOST_COMMAND names another; tool: a file of this build's tool
    // (a copy) to start instead.
    explicit DevhostProcess(std::vector<std::string> args = {}, bool native = false,
                            const std::string& tool = {});
    ~DevhostProcess();
    DevhostProcess(const DevhostProcess&) = delete;
    DevhostProcess& operator=(const DevhostProcess&) = delete;

    // Whether the start line came.
    bool serving() const { return port_ != 0; }
    int port() const { return port_; }
    // The tool's process (the emulator's under cross-compiling).
    int pid() const { return pid_; }
    const std::string& token() const { return token_; }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::unique_ptr<httplib::Client> client() const;

    // Waits for the process to end (after the stop signal unless it ended already);
    // its exit code, or -1 when a signal ended it.
    int stop();
    // Everything written to stderr so far.
    std::string stderrText();
    // Waits until stderr holds a line containing text; false after a
    // timeout or once the process has closed stderr without it.
    bool waitForStderr(const std::string& text);

private:
    int pid_ = -1;
    bool native_ = false;
    int exitCode_ = -1;
    int port_ = 0;
    std::string token_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string stderr_;
    bool ended_ = false;  // stderr closed: the process is gone
    std::thread reader_;
};

// Stops the tool and fails unless it ended with 0 after its last line,
// "tav-devhost: stopped": under a sanitizer a leak or a fault in the tool
// ends it otherwise.
void expectCleanExit(DevhostProcess& process);

// A test suite whose tests share one started tool.
class SharedDevhostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { process_ = new DevhostProcess(); }
    static void TearDownTestSuite() {
        expectCleanExit(*process_);
        delete process_;
        process_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(process_->serving()) << process_->stderrText(); }

    static inline DevhostProcess* process_ = nullptr;
};

// A time bound that holds natively, stretched under an emulator or Wine.
std::chrono::milliseconds scaled(std::chrono::milliseconds native);

// A number of the process's /proc status, after field ("VmRSS:", in KiB;
// "Threads:"); -1 when unavailable.
long procStatus(int pid, std::string_view field);

// Runs the tool to its end (killed after a generous timeout); exit code and
// output. native and tool: as for DevhostProcess.
struct ToolRun {
    int exitCode = -1;
    std::string err;
    std::string out;
};
ToolRun runDevhost(const std::vector<std::string>& args, bool native = false,
                   const std::string& tool = {});

// Reads GET /events into a text until stopped.
class EventReader {
public:
    // path: "/events" or "/events?log=1", whose greeting is "event: devhost",
    // or another stream with its greeting.
    EventReader(const DevhostProcess& process, const std::string& path = "/events",
                const std::string& greeting = "event: devhost");
    ~EventReader();
    // Waits until the text read so far contains every one of parts, in
    // order; false after a timeout.
    bool waitFor(const std::vector<std::string>& parts);
    std::string text();

private:
    std::unique_ptr<httplib::Client> client_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string text_;
    std::thread thread_;
};

// An answer as it came off a socket.
struct RawAnswer {
    int status = 0;    // 0: no status line came in time
    std::string head;  // status line and header fields, each ending in CRLF
    std::string body;  // by Content-Length, else up to the end

    // The first field named name (in any case); empty when there is none.
    std::string header(std::string_view name) const;
};

// One client connection to the tool, non-blocking underneath.
class RawSocket {
public:
    // receiveBuffer: SO_RCVBUF before connecting, 0 for the default.
    explicit RawSocket(int port, int receiveBuffer = 0);
    ~RawSocket();
    RawSocket(const RawSocket&) = delete;
    RawSocket& operator=(const RawSocket&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Sends all of data, reading whatever comes meanwhile (a server may
    // answer and close before a large body is all sent); false once the
    // peer stopped taking it.
    bool send(std::string_view data);
    // Reads one answer; bodiless for HEAD, or to stop after the head of an
    // endless one.
    RawAnswer answer(std::chrono::milliseconds timeout, bool bodiless = false);
    // Everything not yet consumed, read until the peer closes or timeout.
    std::string readToEnd(std::chrono::milliseconds timeout);
    // Reads what has come, without waiting.
    void drain();
    // The peer closed (end of stream or reset).
    bool closed() const { return closed_; }
    // Read but not yet consumed by answer().
    const std::string& received() const { return in_; }

private:
    bool readSome();
    bool fill(std::chrono::steady_clock::time_point deadline);

    int fd_ = -1;
    bool closed_ = false;
    std::string in_;
};

// Sends request on a new connection and reads one answer.
RawAnswer rawRequest(int port, std::string_view request,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60),
                     bool bodiless = false);

}  // namespace tav::testing

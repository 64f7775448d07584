#include "devhost_process.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tav::testing {
namespace {

// Generous: under the i386 emulator start-up takes seconds.
constexpr auto kTimeout = std::chrono::seconds(90);

struct Spawned {
    int pid = -1;
    int errFd = -1;
    int outFd = -1;
};

// TAV_DEVHOST_COMMAND, when set, replaces the built tool: its words (split at
// spaces) start another build of it, such as the Windows tool under Wine.
const char* otherCommand() {
    const char* command = std::getenv("TAV_DEVHOST_COMMAND");
    return command != nullptr && *command != '\0' ? command : nullptr;
}

// tool: another file of this build's tool than TAV_DEVHOST_TOOL (a copy).
std::vector<std::string> toolCommand(bool native, const std::string& tool) {
    std::vector<std::string> command;
    if (const char* other = native || !tool.empty() ? nullptr : otherCommand()) {
        std::istringstream words(other);
        for (std::string word; words >> word;) {
            command.push_back(word);
        }
        return command;
    }
    if (const std::string emulator = TAV_DEVHOST_EMULATOR; !emulator.empty()) {
        command.push_back(emulator);
    }
    command.push_back(tool.empty() ? TAV_DEVHOST_TOOL : tool);
    return command;
}

// A Windows tool's text-mode output ends its lines in CRLF; the tests read LF.
void appendOutput(std::string& text, const char* data, std::size_t size) {
    const std::size_t from = text.size();
    text.append(data, size);
    if (otherCommand() != nullptr) {
        text.erase(std::remove(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), '\r'),
                   text.end());
    }
}

Spawned spawn(const std::vector<std::string>& args, bool keepStdout, bool native = false,
              const std::string& tool = {}) {
    std::vector<std::string> command = toolCommand(native, tool);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int errPipe[2];
    int outPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0 || pipe2(outPipe, O_CLOEXEC) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (keepStdout) {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    Spawned spawned;
    if (posix_spawn(&spawned.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        spawned.pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(errPipe[1]);
    close(outPipe[1]);
    spawned.errFd = errPipe[0];
    spawned.outFd = outPipe[0];
    return spawned;
}

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

int waitFor(int pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

DevhostProcess::DevhostProcess(std::vector<std::string> args, bool native, const std::string& tool)
    : native_(native || !tool.empty()) {
    if (tool.empty() && std::none_of(args.begin(), args.end(), [](const std::string& arg) {
            return arg.starts_with("--scenario");
        })) {
        args.insert(args.end(), {"--scenario", TAV_DEVHOST_DEMO});
    }
    args.insert(args.begin(), {"--port", "0"});
    const Spawned spawned = spawn(args, false, native_, tool);
    close(spawned.outFd);
    pid_ = spawned.pid;
    if (pid_ < 0) {
        close(spawned.errFd);
        return;
    }
    reader_ = std::thread([this, fd = spawned.errFd] {
        char buffer[4096];
        for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
            std::lock_guard lock(mutex_);
            appendOutput(stderr_, buffer, static_cast<std::size_t>(n));
            changed_.notify_all();
        }
        close(fd);
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    });
    constexpr std::string_view kServing = "tav-devhost: serving http://127.0.0.1:";
    if (!waitForStderr(std::string(kServing))) {
        return;
    }
    std::lock_guard lock(mutex_);
    const std::size_t at = stderr_.find(kServing) + kServing.size();
    port_ = std::stoi(stderr_.substr(at));
    const std::size_t token = stderr_.find("?token=", at) + 7;
    token_ = stderr_.substr(token, stderr_.find('\n', token) - token);
}

DevhostProcess::~DevhostProcess() {
    stop();
}

bool DevhostProcess::waitForStderr(const std::string& text) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kTimeout, [&] {
        return ended_ || (stderr_.find(text) != std::string::npos &&
                          stderr_.find('\n', stderr_.find(text)) != std::string::npos);
    });
    return stderr_.find(text) != std::string::npos;
}

std::unique_ptr<httplib::Client> DevhostProcess::client() const {
    auto client = std::make_unique<httplib::Client>("127.0.0.1", port_);
    client->set_read_timeout(std::chrono::seconds(60));
    return client;
}

int DevhostProcess::stop() {
    if (pid_ > 0) {
        // Wine turns SIGINT into Ctrl-C for a Windows tool's console handler;
        // its SIGTERM would end the process without it.
        kill(pid_, otherCommand() != nullptr && !native_ ? SIGINT : SIGTERM);
        exitCode_ = waitFor(pid_);
        pid_ = -1;
        if (reader_.joinable()) {
            reader_.join();
        }
    }
    return exitCode_;
}

void expectCleanExit(DevhostProcess& process) {
    // Stopped through the module's Shutdown, which says so last.
    if (const int code = process.stop();
        code != 0 || !process.stderrText().ends_with("\ntav-devhost: stopped\n")) {
        ADD_FAILURE() << "the tool ended with " << code << "\n" << process.stderrText();
    }
}

std::string DevhostProcess::stderrText() {
    std::lock_guard lock(mutex_);
    return stderr_;
}

std::chrono::milliseconds scaled(std::chrono::milliseconds native) {
    const bool emulated = !std::string(TAV_DEVHOST_EMULATOR).empty() || otherCommand() != nullptr;
    return emulated ? 4 * native : native;
}

long procStatus(int pid, std::string_view field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) {
            return std::strtol(line.c_str() + field.size(), nullptr, 10);
        }
    }
    return -1;
}

ToolRun runDevhost(const std::vector<std::string>& args, bool native, const std::string& tool) {
    const Spawned spawned = spawn(args, true, native, tool);
    ToolRun run;
    if (spawned.pid < 0) {
        return run;
    }
    // Both pipes at once, so a tool that keeps running (a test's failure)
    // is killed rather than waited for.
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    pollfd fds[] = {{spawned.outFd, POLLIN, 0}, {spawned.errFd, POLLIN, 0}};
    std::string* texts[] = {&run.out, &run.err};
    bool killed = false;
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        if (poll(fds, 2, killed ? -1 : millisecondsUntil(deadline)) == 0) {
            kill(spawned.pid, SIGKILL);
            killed = true;
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                appendOutput(*texts[i], buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
            }
        }
    }
    run.exitCode = waitFor(spawned.pid);
    return run;
}

EventReader::EventReader(const DevhostProcess& process, const std::string& path,
                         const std::string& greeting)
    : client_(process.client()) {
    thread_ = std::thread([this, path] {
        client_->Get(path, [this](const char* data, std::size_t length) {
            std::lock_guard lock(mutex_);
            text_.append(data, length);
            changed_.notify_all();
            return true;
        });
    });
    // The greeting: from here on the stream is open and stop() ends it.
    waitFor({greeting});
}

EventReader::~EventReader() {
    client_->stop();
    thread_.join();
}

bool EventReader::waitFor(const std::vector<std::string>& parts) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kTimeout, [&] {
        std::size_t from = 0;
        for (const std::string& part : parts) {
            from = text_.find(part, from);
            if (from == std::string::npos) {
                return false;
            }
            from += part.size();
        }
        return true;
    });
}

std::string EventReader::text() {
    std::lock_guard lock(mutex_);
    return text_;
}

std::string RawAnswer::header(std::string_view name) const {
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    const std::size_t at = lower(head).find("\r\n" + lower(std::string(name)) + ":");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = head.find_first_not_of(" \t", at + name.size() + 3);
    return head.substr(from, head.find("\r\n", from) - from);
}

RawSocket::RawSocket(int port, int receiveBuffer) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return;
    }
    if (receiveBuffer > 0) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd_);
        fd_ = -1;
        return;
    }
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

RawSocket::~RawSocket() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

bool RawSocket::readSome() {
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n > 0) {
        in_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        closed_ = true;
    }
    return false;
}

bool RawSocket::fill(std::chrono::steady_clock::time_point deadline) {
    while (fd_ >= 0 && !closed_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, millisecondsUntil(deadline)) <= 0) {
            return false;
        }
        if (readSome()) {
            return true;
        }
    }
    return false;
}

void RawSocket::drain() {
    while (fd_ >= 0 && !closed_ && readSome()) {
    }
}

bool RawSocket::send(std::string_view data) {
    // A stall ends the sending: long when nothing came back, short once an
    // answer did (the server refused the rest and stopped reading).
    auto progress = std::chrono::steady_clock::now();
    while (fd_ >= 0 && !data.empty()) {
        const bool answered = in_.find("\r\n\r\n") != std::string::npos;
        const auto stall = answered ? std::chrono::seconds(1) : std::chrono::seconds(30);
        pollfd p{fd_, static_cast<short>(closed_ ? POLLOUT : POLLIN | POLLOUT), 0};
        if (poll(&p, 1, millisecondsUntil(progress + stall)) <= 0) {
            return false;
        }
        if ((p.revents & POLLIN) != 0) {
            readSome();
        }
        if ((p.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (n > 0) {
                data.remove_prefix(static_cast<std::size_t>(n));
                progress = std::chrono::steady_clock::now();
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return false;
            }
        }
    }
    return fd_ >= 0;
}

RawAnswer RawSocket::answer(std::chrono::milliseconds timeout, bool bodiless) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    RawAnswer answer;
    std::size_t end;
    while ((end = in_.find("\r\n\r\n")) == std::string::npos) {
        if (!fill(deadline)) {
            return answer;
        }
    }
    answer.head = in_.substr(0, end + 2);
    in_.erase(0, end + 4);
    if (answer.head.starts_with("HTTP/1.") && answer.head.size() >= 12) {
        answer.status = std::atoi(answer.head.c_str() + 9);
    }
    if (bodiless || answer.status / 100 == 1 || answer.status == 204 || answer.status == 304) {
        return answer;
    }
    if (const std::string length = answer.header("Content-Length"); !length.empty()) {
        const std::size_t size = std::strtoul(length.c_str(), nullptr, 10);
        while (in_.size() < size && fill(deadline)) {
        }
        answer.body = in_.substr(0, size);
        in_.erase(0, std::min(in_.size(), size));
        return answer;
    }
    answer.body = readToEnd(std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now()));
    return answer;
}

std::string RawSocket::readToEnd(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fill(deadline)) {
    }
    return std::exchange(in_, {});
}

RawAnswer rawRequest(int port, std::string_view request, std::chrono::milliseconds timeout,
                     bool bodiless) {
    RawSocket socket(port);
    socket.send(request);
    return socket.answer(timeout, bodiless);
}

}  // namespace tav::testing

#include "devhost_process.h"

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <spawn.h>
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

Spawned spawn(const std::vector<std::string>& args, bool keepStdout) {
    std::vector<std::string> command;
    if (const std::string emulator = TAV_DEVHOST_EMULATOR; !emulator.empty()) {
        command.push_back(emulator);
    }
    command.emplace_back(TAV_DEVHOST_TOOL);
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

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

int waitFor(int pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

DevhostProcess::DevhostProcess(std::vector<std::string> args) {
    bool hasScenario = false;
    for (const std::string& arg : args) {
        hasScenario = hasScenario || arg.starts_with("--scenario");
    }
    args.insert(args.begin(), {"--port", "0"});
    if (!hasScenario) {
        args.insert(args.end(), {"--scenario", TAV_DEVHOST_DEMO});
    }
    const Spawned spawned = spawn(args, false);
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
            stderr_.append(buffer, static_cast<std::size_t>(n));
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
        kill(pid_, SIGTERM);
        exitCode_ = waitFor(pid_);
        pid_ = -1;
        if (reader_.joinable()) {
            reader_.join();
        }
    }
    return exitCode_;
}

std::string DevhostProcess::stderrText() {
    std::lock_guard lock(mutex_);
    return stderr_;
}

ToolRun runDevhost(const std::vector<std::string>& args) {
    const Spawned spawned = spawn(args, true);
    ToolRun run;
    if (spawned.pid < 0) {
        return run;
    }
    // Small outputs: reading one pipe to its end cannot block the other.
    run.out = readAll(spawned.outFd);
    run.err = readAll(spawned.errFd);
    close(spawned.outFd);
    close(spawned.errFd);
    run.exitCode = waitFor(spawned.pid);
    return run;
}

EventReader::EventReader(const DevhostProcess& process, const std::string& path)
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
    waitFor({"event: devhost"});
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

}  // namespace tav::testing

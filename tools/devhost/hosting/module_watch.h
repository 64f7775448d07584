// Watches the module file for a new build. A build writes the file over some
// time, so a change counts once the file's size and modification time have
// held still for one more poll; then the watcher's thread calls onNewFile.
// A file that changes while it is being taken is taken again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tav::devhost {

class ModuleWatch {
public:
    static constexpr std::chrono::milliseconds kInterval{250};

    // Takes the file as it is now as the one loaded; start() begins polling.
    ModuleWatch(std::string path, std::function<void()> onNewFile,
                std::chrono::milliseconds interval = kInterval);
    ~ModuleWatch();  // stops
    ModuleWatch(const ModuleWatch&) = delete;
    ModuleWatch& operator=(const ModuleWatch&) = delete;

    void start();
    // Waits for a call of onNewFile under way to end.
    void stop();

private:
    struct Stamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        bool operator==(const Stamp&) const = default;
    };
    // Nothing while the file is missing (a build may remove it first).
    std::optional<Stamp> stamp() const;
    void run();

    const std::string path_;
    const std::function<void()> onNewFile_;
    const std::chrono::milliseconds interval_;
    std::optional<Stamp> taken_;  // the file as last handed on
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tav::devhost

#include "hosting/module_watch.h"

#include <system_error>

namespace tav::devhost {

ModuleWatch::ModuleWatch(std::string path, std::function<void()> onNewFile,
                         std::chrono::milliseconds interval)
    : path_(std::move(path)), onNewFile_(std::move(onNewFile)), interval_(interval) {
    taken_ = stamp();
}

ModuleWatch::~ModuleWatch() {
    stop();
}

void ModuleWatch::start() {
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { run(); });
    }
}

void ModuleWatch::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::optional<ModuleWatch::Stamp> ModuleWatch::stamp() const {
    std::error_code ec;
    Stamp now;
    now.size = std::filesystem::file_size(path_, ec);
    if (ec) {
        return std::nullopt;
    }
    now.modified = std::filesystem::last_write_time(path_, ec);
    if (ec) {
        return std::nullopt;
    }
    return now;
}

void ModuleWatch::run() {
    std::optional<Stamp> seen = taken_;
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, interval_, [this] { return stopping_; })) {
        const std::optional<Stamp> now = stamp();
        if (!now || now == taken_) {
            seen = now;
            continue;
        }
        if (now != seen) {
            seen = now;  // still being written, perhaps: one more interval
            continue;
        }
        taken_ = now;
        // Unlocked: stop() must be able to ask while a reload runs.
        lock.unlock();
        onNewFile_();
        lock.lock();
    }
}

}  // namespace tav::devhost

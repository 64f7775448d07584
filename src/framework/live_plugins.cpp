#include "framework/live_plugins.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tav {
namespace {

struct Delivery {
    PluginBase* plugin;
    std::thread::id thread;
};

struct LivePlugins {
    std::mutex mutex;
    std::condition_variable deliveryEnded;
    std::vector<PluginBase*> plugins;
    std::vector<Delivery> running;
};

// Created on first use; goes with the module's static objects at unload, when
// no call of the host's may be running in the module any more.
LivePlugins& livePlugins() {
    static LivePlugins instance;
    return instance;
}

bool runsElsewhere(const LivePlugins& live, const PluginBase* plugin) {
    const std::thread::id self = std::this_thread::get_id();
    return std::any_of(live.running.begin(), live.running.end(),
                       [&](const Delivery& d) { return d.plugin == plugin && d.thread != self; });
}

}  // namespace

void addLivePlugin(PluginBase* plugin) {
    LivePlugins& live = livePlugins();
    const std::lock_guard lock(live.mutex);
    live.plugins.push_back(plugin);
}

void removeLivePlugin(PluginBase* plugin) {
    LivePlugins& live = livePlugins();
    std::unique_lock lock(live.mutex);
    std::erase(live.plugins, plugin);
    live.deliveryEnded.wait(lock, [&] { return !runsElsewhere(live, plugin); });
}

namespace detail {

PluginBase* enterDelivery(const void* userData) {
    LivePlugins& live = livePlugins();
    const std::lock_guard lock(live.mutex);
    const auto found = std::find(live.plugins.begin(), live.plugins.end(), userData);
    if (found == live.plugins.end()) {
        return nullptr;
    }
    live.running.push_back({*found, std::this_thread::get_id()});
    return *found;
}

void leaveDelivery(PluginBase* plugin) {
    LivePlugins& live = livePlugins();
    {
        const std::lock_guard lock(live.mutex);
        const std::thread::id self = std::this_thread::get_id();
        const auto found =
            std::find_if(live.running.begin(), live.running.end(),
                         [&](const Delivery& d) { return d.plugin == plugin && d.thread == self; });
        if (found != live.running.end()) {
            live.running.erase(found);
        }
    }
    live.deliveryEnded.notify_all();
}

}  // namespace detail

}  // namespace tav

// The plugin objects alive in this module. The host hands a plugin's address
// back as the user data of every event it delivers; a delivery that comes
// after the plugin's Shutdown (one the host had queued, or one racing it)
// finds the address gone here and is dropped instead of reading freed memory.
#pragma once

namespace tav {

class PluginBase;

void addLivePlugin(PluginBase* plugin);

// From here on deliveries to the plugin are dropped. Waits for those already
// running on other threads; one running on the calling thread (a Shutdown
// from inside a delivery) goes on.
void removeLivePlugin(PluginBase* plugin);

// Runs one delivery to the plugin the user data names, when it is alive:
// returns false, having done nothing, when it is not.
template <class Delivery>
bool deliverToLivePlugin(const void* userData, Delivery&& delivery);

namespace detail {

PluginBase* enterDelivery(const void* userData);
void leaveDelivery(PluginBase* plugin);

}  // namespace detail

template <class Delivery>
bool deliverToLivePlugin(const void* userData, Delivery&& delivery) {
    PluginBase* plugin = detail::enterDelivery(userData);
    if (plugin == nullptr) {
        return false;
    }
    struct Leave {
        PluginBase* plugin;
        ~Leave() { detail::leaveDelivery(plugin); }
    } leave{plugin};
    delivery(*plugin);
    return true;
}

}  // namespace tav

// Answers of remote services delivered as host events: stored under their
// uuid or "service.method" key, handed to a request waiting under that key,
// or passed to the asynchronous handler of the method. One mutex guards all.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "framework/framework_types.h"

namespace tav {

class ServiceProxyTables {
public:
    using Callback = std::function<void(const PluginServiceProxyResponse&)>;

    // "%1.%2" with the service and method names.
    static std::string methodKey(const PluginServiceProxyResponse& answer);

    // Register before the answer can arrive.
    void registerWaitingRequest(std::string key, Callback callback);
    void registerAsyncHandler(std::string methodKey, Callback callback);

    // Stores the answer under key (replacing an earlier one), then hands the
    // first stored answer that has a waiting request to it. shortName labels
    // the log line.
    void storeAndFulfil(const std::string& key, const PluginServiceProxyResponse& answer,
                        std::string_view shortName);
    // Calls the asynchronous handler of the answer's method key (with the
    // mutex held), or logs that there is none.
    void handleAsync(const PluginServiceProxyResponse& answer, std::string_view shortName);

    void clear();

    std::size_t storedCount() const;
    bool hasStored(const std::string& key) const;
    std::size_t waitingCount() const;

private:
    // Recursive: a waiting request's callback runs with the tables locked
    // (one callback at a time across threads) and may register the next
    // request, or store an answer, from the same thread.
    mutable std::recursive_mutex mutex_;
    std::unordered_map<std::string, Callback> waiting_;
    std::unordered_map<std::string, Callback> asyncHandlers_;
    // In the order keys were first stored: fulfilment walks them in it.
    std::vector<std::pair<std::string, PluginServiceProxyResponse>> received_;
};

}  // namespace tav

#include "framework/service_proxy.h"

#include <algorithm>

#include "log/log_manager.h"
#include "text/message.h"

namespace tav {
namespace {

constexpr std::uint32_t kLogMaskLow = 1;
constexpr const char* kFulfilledLine = "%s: Fulfilled service proxy request: %s";
constexpr const char* kNoAsyncHandlerLine =
    "%s: Could not find registered handler for async service proxy event %s";

}  // namespace

std::string ServiceProxyTables::methodKey(const PluginServiceProxyResponse& answer) {
    return makeMessage("%1.%2", answer.serviceName, answer.methodName);
}

void ServiceProxyTables::registerWaitingRequest(std::string key, Callback callback) {
    std::lock_guard guard(mutex_);
    waiting_[std::move(key)] = std::move(callback);
}

void ServiceProxyTables::registerAsyncHandler(std::string methodKey, Callback callback) {
    std::lock_guard guard(mutex_);
    asyncHandlers_[std::move(methodKey)] = std::move(callback);
}

void ServiceProxyTables::storeAndFulfil(const std::string& key,
                                        const PluginServiceProxyResponse& answer,
                                        std::string_view shortName) {
    std::lock_guard guard(mutex_);
    const auto stored = std::find_if(received_.begin(), received_.end(),
                                     [&](const auto& entry) { return entry.first == key; });
    if (stored != received_.end()) {
        stored->second = answer;
    } else {
        received_.emplace_back(key, answer);
    }

    // Only the first stored answer with a waiting request is handed over:
    // any others wait for the next answer to arrive.
    for (auto entry = received_.begin(); entry != received_.end(); ++entry) {
        const auto waiting = waiting_.find(entry->first);
        if (waiting == waiting_.end()) {
            continue;
        }
        // Both entries leave the tables before the callback runs, so that
        // it may register or store (same thread, recursive lock) without
        // invalidating anything this loop still uses.
        const Callback callback = std::move(waiting->second);
        waiting_.erase(waiting);
        const std::string fulfilledKey = std::move(entry->first);
        const PluginServiceProxyResponse fulfilled = std::move(entry->second);
        received_.erase(entry);

        callback(fulfilled);
        Log(LogLevel::Always, kLogMaskLow, 0, kFulfilledLine, std::string(shortName).c_str(),
            fulfilledKey.c_str());
        return;
    }
}

void ServiceProxyTables::handleAsync(const PluginServiceProxyResponse& answer,
                                     std::string_view shortName) {
    const std::string key = methodKey(answer);
    std::lock_guard guard(mutex_);
    const auto handler = asyncHandlers_.find(key);
    if (handler == asyncHandlers_.end()) {
        Log(LogLevel::Error, kLogMaskLow, 0, kNoAsyncHandlerLine, std::string(shortName).c_str(),
            key.c_str());
        return;
    }
    // A copy: the handler stays callable even if it replaces itself.
    const Callback callback = handler->second;
    callback(answer);
}

void ServiceProxyTables::clear() {
    std::lock_guard guard(mutex_);
    waiting_.clear();
    asyncHandlers_.clear();
    received_.clear();
}

std::size_t ServiceProxyTables::storedCount() const {
    std::lock_guard guard(mutex_);
    return received_.size();
}

bool ServiceProxyTables::hasStored(const std::string& key) const {
    std::lock_guard guard(mutex_);
    return std::any_of(received_.begin(), received_.end(),
                       [&](const auto& entry) { return entry.first == key; });
}

std::size_t ServiceProxyTables::waitingCount() const {
    std::lock_guard guard(mutex_);
    return waiting_.size();
}

}  // namespace tav

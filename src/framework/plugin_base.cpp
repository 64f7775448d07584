#include "framework/plugin_base.h"

#include <cstring>

#include "diag/allocation.h"
#include "framework/live_plugins.h"
#include "framework/plugin_log_target.h"
#include "framework/telemetry.h"
#include "log/console_targets.h"
#include "log/log_manager.h"
#include "text/message.h"

namespace tav {

PluginBase::PluginBase() {
    LogManager::AddReference();
    registry_.reset();
    addLivePlugin(this);
}

// Members go in a fixed order: what logs (the log target) before the log
// manager reference, the listener and event tables after it.
PluginBase::~PluginBase() {
    removeLivePlugin(this);
    labels_.clear();
    typeNamePrefix_.clear();
    identity_ = PluginIdentity();
    logTarget_.reset();
    hostVersion_ = SemanticVersion();
    LogManager::Release();
}

void* PluginBase::operator new(std::size_t size) {
    void* block = operator new(size, std::nothrow);
    if (block == nullptr) {
        diag::throwBadAlloc();
    }
    return block;
}

void* PluginBase::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    void* block = diag::allocate(size);
    if (block != nullptr) {
        std::memset(block, 0, size);
    }
    return block;
}

void PluginBase::operator delete(void* block) noexcept {
    diag::deallocate(block);
}

void PluginBase::operator delete(void* block, const std::nothrow_t&) noexcept {
    diag::deallocate(block);
}

void PluginBase::SendRequest(TavResponse* response, const TavRequest* request) {
    if (const TavPluginHost* h = host(); h != nullptr && h->sendRequest != nullptr) {
        h->sendRequest(h, response, request);
    }
}

void PluginBase::HostSlot1(std::uintptr_t a, std::uintptr_t b) {
    if (const TavPluginHost* h = host(); h != nullptr && h->slot1 != nullptr) {
        h->slot1(h, a, b);
    }
}

void PluginBase::PublishEvent(const TavHostEvent* event) {
    if (const TavPluginHost* h = host(); h != nullptr && h->publishEvent != nullptr) {
        h->publishEvent(h, event);
    }
}

void PluginBase::HostSubscribe(const char* eventName, void* context, TavEventCallback callback,
                               void* userData, std::uint32_t flag) {
    if (const TavPluginHost* h = host(); h != nullptr && h->subscribe != nullptr) {
        h->subscribe(h, eventName, context, callback, userData, flag);
    }
}

void PluginBase::HostUnsubscribe(const char* eventName, void* context) {
    if (const TavPluginHost* h = host(); h != nullptr && h->unsubscribe != nullptr) {
        h->unsubscribe(h, eventName, context);
    }
}

void PluginBase::HostSlot5(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c, std::uint64_t d,
                           std::uintptr_t e) {
    if (const TavPluginHost* h = host(); h != nullptr && h->slot5 != nullptr) {
        h->slot5(h, a, b, c, d, e);
    }
}

void PluginBase::WaitStep() {
    if (const TavPluginHost* h = host(); h != nullptr && h->waitStep != nullptr) {
        h->waitStep(h);
    }
}

void PluginBase::WaitLabel(const char* label, std::uintptr_t zero) {
    if (const TavPluginHost* h = host(); h != nullptr && h->waitLabel != nullptr) {
        h->waitLabel(h, label, zero);
    }
}

void PluginBase::WaitResume() {
    if (const TavPluginHost* h = host(); h != nullptr && h->waitResume != nullptr) {
        h->waitResume(h);
    }
}

void PluginBase::RegisterEndpoints() {}

bool PluginBase::OnInitialize() {
    return true;
}

void PluginBase::yield() {
    WaitLabel("Wait: yield", 0);
    WaitStep();
    WaitResume();
}

void PluginBase::Subscribe(std::string_view uri) {
    events_.subscribe(uri);
}

void PluginBase::Unsubscribe(std::string_view uri) {
    events_.unsubscribe(uri);
}

void PluginBase::Shutdown() {
    events_.unsubscribeAll();
    serviceProxy_.clear();
}

void PluginBase::configure(PluginSetup setup) {
    hostVersion_ = std::move(setup.hostVersion);
    identity_ = std::move(setup.identity);
    shortName_ = std::move(setup.shortName);
    typeNamePrefix_ = std::move(setup.typeNamePrefix);
    labels_ = std::move(setup.labels);
}

bool PluginBase::initialise(const TavInitRecord& init) {
    initRecord_ = init;

    // The first Init of the process replaces the console targets with the
    // host's log; a second finds the plugin target and changes nothing.
    if (LogManager::FindTarget("PluginLogTarget") == nullptr) {
        LogManager::StdOut()->Unregister();
        LogManager::StdErr()->Unregister();
        LogManager::Debugger()->Unregister();
        LogManager::SetMinimumLevel(LogLevel::Okay);
        LogManager::SetExcludedCategories(LogCategory::Extra);
        // A copy: make_unique would bind a reference to the packed record's
        // field, which the host need not have aligned.
        const TavPluginHost* host = init.host;
        auto target = std::make_unique<PluginLogTarget>(host);
        LogTargetSettings settings;
        settings.level = LogManager::MinimumLevel();
        settings.includedCategories = 0;
        settings.excludedCategories = 0;
        settings.format = "#D| #L| #G| #M";
        Configure(*target, settings);
        logTarget_ = std::move(target);
    }

    userAgent_ = makeMessage("KelvoClient/%1 (%2)", hostVersion_.text(), shortName_);
    hostContext_ = init.hostContext;
    telemetry_ = std::make_unique<TelemetrySender>(*this);
    events_.subscribeServiceProxyEvents();
    return OnInitialize();
}

}  // namespace tav

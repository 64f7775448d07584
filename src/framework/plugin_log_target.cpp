#include "framework/plugin_log_target.h"

#include <mutex>

namespace tav {

// The manager may still be writing to this target from another thread:
// unregister before host_ goes.
PluginLogTarget::~PluginLogTarget() {
    Unregister();
}

const char* PluginLogTarget::Name() const {
    return "PluginLogTarget";
}

bool PluginLogTarget::Write(const LogRecord& record) {
    std::lock_guard guard(Lock());
    if (host_ == nullptr || host_->log == nullptr) {
        return false;
    }
    host_->log(host_, record.level, record.message != nullptr ? record.message : "");
    return true;
}

}  // namespace tav

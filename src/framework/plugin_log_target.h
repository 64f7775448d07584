// The log target of a plugin inside the host: every line that passes the
// filters goes to the host's log function as its level and message text,
// unformatted (the host stamps its own lines).
#pragma once

#include <tav/plugin_abi.h>

#include "log/log_target.h"

namespace tav {

class PluginLogTarget final : public LogTarget {
public:
    explicit PluginLogTarget(const TavPluginHost* host) : host_(host) {}
    ~PluginLogTarget() override;

    const char* Name() const override;
    bool Write(const LogRecord& record) override;

private:
    const TavPluginHost* host_;
};

}  // namespace tav

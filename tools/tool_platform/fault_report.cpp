#include "tool_platform/fault_report.h"

#include <algorithm>
#include <cstring>

#include "tool_platform/fault_message.h"

namespace tav::tools {

detail::FaultMessage& detail::faultMessage() {
    static FaultMessage message;
    return message;
}

void setFaultMessage(std::string_view text) {
    detail::FaultMessage& message = detail::faultMessage();
    const std::size_t length = std::min(text.size(), sizeof message.text - 1);
    message.length.store(0);
    std::memcpy(message.text, text.data(), length);
    message.text[length] = '\n';
    message.length.store(length + 1);
}

bool faultReported() {
    return detail::faultMessage().fired.load();
}

}  // namespace tav::tools

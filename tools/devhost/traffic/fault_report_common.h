// The message buffer both fault reporters write from a fault handler, where
// nothing may allocate.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace tav::devhost::detail {

struct FaultMessage {
    char text[512] = {};
    std::atomic<std::size_t> length{0};
    // Set before the report is written: the process is ending for a fault.
    std::atomic<bool> fired{false};
};

inline FaultMessage& faultMessage() {
    static FaultMessage message;
    return message;
}

inline void storeFaultMessage(std::string_view text) {
    FaultMessage& message = faultMessage();
    const std::size_t length = std::min(text.size(), sizeof message.text - 1);
    message.length.store(0);
    std::memcpy(message.text, text.data(), length);
    message.text[length] = '\n';
    message.length.store(length + 1);
}

}  // namespace tav::devhost::detail

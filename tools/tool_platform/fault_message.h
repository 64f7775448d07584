// The message buffer the platform's fault handler writes, where nothing may
// allocate (fault_report.cpp fills it).
#pragma once

#include <atomic>
#include <cstddef>

namespace tav::tools::detail {

struct FaultMessage {
    char text[512] = {};
    std::atomic<std::size_t> length{0};
    // Set before the report is written: the process is ending for a fault.
    std::atomic<bool> fired{false};
};

FaultMessage& faultMessage();

}  // namespace tav::tools::detail

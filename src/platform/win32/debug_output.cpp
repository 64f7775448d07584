#include "platform/debug_output.h"

#include <atomic>

#include <windows.h>

namespace tav::platform {
namespace {

std::atomic<DebugOutputSink>& sink() {
    static std::atomic<DebugOutputSink> current{nullptr};
    return current;
}

}  // namespace

void outputDebugString(const char* text) {
    if (text == nullptr) {
        return;
    }
    OutputDebugStringA(text);
    if (DebugOutputSink s = sink().load(std::memory_order_acquire); s != nullptr) {
        s(text);
    }
}

DebugOutputSink setDebugOutputSink(DebugOutputSink newSink) {
    return sink().exchange(newSink, std::memory_order_acq_rel);
}

}  // namespace tav::platform

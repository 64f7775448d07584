#include "tool_platform/fault_report.h"

#include <windows.h>

#include "tool_platform/fault_message.h"

namespace tav::tools {
namespace {

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* /*exception*/) {
    detail::FaultMessage& message = detail::faultMessage();
    message.fired.store(true);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), message.text,
              static_cast<DWORD>(message.length.load()), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 1);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void reportFatalFaults() {
    SetUnhandledExceptionFilter(&onUnhandledException);
}

}  // namespace tav::tools

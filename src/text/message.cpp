#include "text/message.h"

namespace tav::detail {

std::string formatToString(const char* format, const FormatArg* args, std::size_t count) {
    char buffer[kMessageBufferSize];
    const std::size_t length = formatMessage(buffer, sizeof buffer, format, args, count);
    return std::string(buffer, length);
}

}  // namespace tav::detail

#include "server/security.h"

#include "platform/system_random.h"
#include "text/string_utils.h"

namespace tav::devhost {

std::string makeToken() {
    std::uint8_t bytes[16];
    if (!tav::platform::systemRandom(bytes, sizeof bytes)) {
        return {};
    }
    return lowerHex(bytes);
}

bool hostAllowed(std::string_view host, std::uint16_t port) {
    std::string suffix = ":";  // not ":" + ...: GCC 12 -O2 -Wrestrict
    suffix += std::to_string(port);
    if (!host.ends_with(suffix)) {
        return false;
    }
    const std::string_view name = host.substr(0, host.size() - suffix.size());
    if (name == "127.0.0.1") {
        return true;
    }
    constexpr std::string_view kLocalhost = "localhost";
    if (name.size() != kLocalhost.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] + 32) : name[i];
        if (c != kLocalhost[i]) {
            return false;
        }
    }
    return true;
}

bool tokenMatches(std::string_view given, std::string_view token) {
    if (given.size() != token.size() || token.empty()) {
        return false;
    }
    unsigned difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i]) ^ static_cast<unsigned char>(token[i]);
    }
    return difference == 0;
}

bool onlyCharacters(std::string_view text, std::string_view extra) {
    for (const char c : text) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || extra.find(c) != std::string_view::npos;
        if (!allowed) {
            return false;
        }
    }
    return true;
}

std::string escapeForLog(std::string_view text, std::size_t maxBytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    const std::string_view shown = text.substr(0, maxBytes);
    for (const char ch : shown) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(ch);
        } else if (c >= 0x20 && c < 0x7F) {
            out.push_back(ch);
        } else {
            out.append("\\x");
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0xF]);
        }
    }
    if (shown.size() < text.size()) {
        out.append("...");
    }
    return out;
}

}  // namespace tav::devhost

#include "server/request_target.h"

#include "api/percent_decoding.h"

namespace tav::devhost {
namespace {

// Decodes escapes; false for a malformed one or a NUL or control byte.
bool percentDecode(std::string_view text, std::string& out, bool plusIsSpace) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) {
                return false;
            }
            const int high = hexDigit(text[i + 1]);
            const int low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0) {
                return false;
            }
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            c = ' ';
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
        out.push_back(c);
    }
    return true;
}

}  // namespace

std::optional<RequestTarget> parseTarget(std::string_view target) {
    const std::size_t question = target.find('?');
    const std::string_view rawPath = target.substr(0, question);
    if (!rawPath.starts_with('/') || target.find('#') != target.npos) {
        return std::nullopt;
    }
    std::string decoded;
    if (!percentDecode(rawPath, decoded, false)) {
        return std::nullopt;
    }
    // Segments after decoding, so that "%2F" separates and "%2E%2E" climbs
    // exactly as what it decodes to would.
    std::vector<std::string_view> segments;
    std::string_view rest = std::string_view(decoded).substr(1);
    while (true) {
        const std::size_t slash = rest.find('/');
        const std::string_view segment = rest.substr(0, slash);
        if (segment == "..") {
            if (segments.empty()) {
                return std::nullopt;
            }
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        if (slash == rest.npos) {
            break;
        }
        rest = rest.substr(slash + 1);
    }
    const bool directory =
        decoded.ends_with('/') || decoded.ends_with("/.") || decoded.ends_with("/..");
    RequestTarget result;
    for (const std::string_view segment : segments) {
        result.path.append("/").append(segment);
    }
    if (result.path.empty() || directory) {
        result.path.push_back('/');
    }
    if (question != target.npos) {
        result.query = target.substr(question + 1);
    }
    return result;
}

std::string encodePath(std::string_view path) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            std::string_view("/-._~!$&'()*+,;=:@").find(ch) != std::string_view::npos;
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0xF]);
        }
    }
    return out;
}

std::vector<std::string> queryValues(std::string_view query, std::string_view name) {
    std::vector<std::string> values;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        query = amp == query.npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t equals = piece.find('=');
        std::string key;
        if (!percentDecode(piece.substr(0, equals), key, true) || key != name) {
            continue;
        }
        std::string value;
        if (equals != piece.npos) {
            // An undecodable value is kept as sent: it matches nothing.
            if (!percentDecode(piece.substr(equals + 1), value, true)) {
                value = piece.substr(equals + 1);
            }
        }
        values.push_back(std::move(value));
    }
    return values;
}

}  // namespace tav::devhost

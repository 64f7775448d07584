#include "formats/body.h"

#include <cstdint>

#include "formats/json.h"
#include "formats/message_pack.h"
#include "formats/yaml.h"

namespace tav {
namespace {

// The C locale's tolower, without a library call per byte: content types are
// compared on every request.
constexpr char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (asciiLower(text[i]) != asciiLower(prefix[i])) {
            return false;
        }
    }
    return true;
}

// Only the space character is skipped, not tabs or line breaks.
std::string_view afterSpaces(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

BindingResult readMessagePackText(std::string_view text, bool rejectTrailing) {
    std::uint32_t position = 0;
    BindingResult result = readMessagePack(reinterpret_cast<const std::uint8_t*>(text.data()),
                                           static_cast<std::uint32_t>(text.size()), position);
    if (result.ok && rejectTrailing && position != text.size()) {
        result.fail("Extra MessgePack data found in body");
    }
    return result;
}

}  // namespace

BindingResult readBody(std::string_view contentType, std::string_view body) {
    if (startsWithIgnoringCase(contentType, "application/x-msgpack")) {
        return readMessagePackText(body, true);
    }
    if (startsWithIgnoringCase(contentType, "application/json") ||
        startsWithIgnoringCase(contentType, "application/vnd.api+json")) {
        return readJson(body);
    }
    if (startsWithIgnoringCase(contentType, "application/x-yaml")) {
        return readYaml(body);
    }
    BindingResult result;
    result.fail("Unsupported body content type");
    return result;
}

bool readSniffedContainer(std::string_view text, BindingResult& result) {
    if (!text.empty()) {
        const auto lead = static_cast<unsigned char>(text.front());
        if ((lead >= 0x80 && lead <= 0x9F) || (lead >= 0xDC && lead <= 0xDF)) {
            result = readMessagePackText(text, false);
            return true;
        }
    }
    const std::string_view trimmed = afterSpaces(text);
    if (trimmed.starts_with("{") || trimmed.starts_with("[")) {
        result = readJson(text);
        return true;
    }
    if (trimmed.starts_with("---")) {
        result = readYaml(text);
        return true;
    }
    return false;
}

}  // namespace tav

#include "formats/body.h"

#include <cstdint>

#include "formats/json.h"
#include "formats/message_pack.h"
#include "formats/yaml.h"
#include "text/string_utils.h"

namespace tav {
namespace {

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

SniffedFormat sniffContainerFormat(std::string_view text) {
    if (!text.empty()) {
        const auto lead = static_cast<unsigned char>(text.front());
        if ((lead >= 0x80 && lead <= 0x9F) || (lead >= 0xDC && lead <= 0xDF)) {
            return SniffedFormat::MessagePack;
        }
    }
    const std::string_view trimmed = afterSpaces(text);
    if (trimmed.starts_with("{") || trimmed.starts_with("[")) {
        return SniffedFormat::Json;
    }
    return trimmed.starts_with("---") ? SniffedFormat::Yaml : SniffedFormat::None;
}

bool readSniffedContainer(std::string_view text, BindingResult& result) {
    switch (sniffContainerFormat(text)) {
        case SniffedFormat::MessagePack:
            result = readMessagePackText(text, false);
            return true;
        case SniffedFormat::Json:
            result = readJson(text);
            return true;
        case SniffedFormat::Yaml:
            result = readYaml(text);
            return true;
        case SniffedFormat::None:
            break;
    }
    return false;
}

}  // namespace tav

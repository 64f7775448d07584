#include "api/text_argument.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "api/dispatch_messages.h"
#include "binding/type_registry.h"
#include "formats/body.h"
#include "formats/json.h"
#include "formats/message_pack.h"
#include "formats/yaml.h"
#include "text/message.h"
#include "text/string_utils.h"

namespace tav {
namespace {

using messages::kExpectedValue;
using messages::kIndexFormat;
using messages::kIndexRange;
using messages::kInvalidLocation;
using messages::kUnknownArgument;

// As deep as the readers nest: deeper trees would be walked by recursive
// conversions later.
constexpr std::size_t kMaxIndexPathSegments = 512;

bool isContainerKind(BindingTypeKind kind) {
    return kind == BindingTypeKind::Object || kind == BindingTypeKind::Vector ||
           kind == BindingTypeKind::Struct;
}

}  // namespace

bool convertText(CallResult& call, BindingValue& target, std::string_view contentType,
                 std::string_view text, bool container, std::string_view parameterName,
                 std::string_view functionName) {
    // The sniffing rules apply only without a content type, so they never
    // compete with the content-type rules they stand between.
    const SniffedFormat sniffed =
        container && contentType.empty() ? sniffContainerFormat(text) : SniffedFormat::None;
    const char* failure = nullptr;
    BindingResult decoded;
    if (startsWithIgnoringCase(contentType, "application/x-msgpack") ||
        sniffed == SniffedFormat::MessagePack) {
        // Bytes after a complete value are ignored here.
        std::uint32_t position = 0;
        decoded = readMessagePack(reinterpret_cast<const std::uint8_t*>(text.data()),
                                  static_cast<std::uint32_t>(text.size()), position);
        failure = messages::kMessagePackArgument;
    } else if (startsWithIgnoringCase(contentType, "application/json") ||
               sniffed == SniffedFormat::Json) {
        decoded = readJson(text);
        failure = messages::kJsonArgument;
    } else if (startsWithIgnoringCase(contentType, "text/x-yaml") ||
               sniffed == SniffedFormat::Yaml) {
        decoded = readYaml(text);
        failure = messages::kYamlArgument;
    } else if (startsWithIgnoringCase(contentType, "application/octet-stream")) {
        target.setBlob(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
        return true;
    } else {
        target.setString(text);
        return true;
    }
    if (!decoded) {
        respondError(call, makeMessage(failure, parameterName, functionName, decoded.error()));
        return false;
    }
    target = std::move(decoded.value);
    return true;
}

std::size_t TextArgumentAssigner::find(std::string_view name) const {
    const auto& arguments = function_.arguments;
    for (std::size_t i = 0; i < arguments.size() && i < parameters_.size(); ++i) {
        if (arguments[i].name == name) {
            return i;
        }
    }
    return parameters_.size();
}

bool TextArgumentAssigner::assign(CallResult& call, std::string_view name, std::string_view text,
                                  ArgumentLocation location) {
    const std::size_t dot = name.find('.');
    const std::string_view base = name.substr(0, dot);
    const std::size_t index = find(base);
    if (index == parameters_.size()) {
        respondError(call, makeMessage(kUnknownArgument, base, function_.name));
        return false;
    }
    const ArgumentLocation declared =
        index < locations_.size() ? locations_[index] : ArgumentLocation::Any;
    if (declared != ArgumentLocation::Any && declared != location) {
        respondError(call, makeMessage(kInvalidLocation, base, function_.name));
        return false;
    }
    BindingValue& parameter = parameters_[index];
    if (dot != std::string_view::npos) {
        return assignPath(call, parameter, name.substr(dot + 1), text);
    }
    const BindingFunctionArgument& argument = function_.arguments[index];
    const BindingTypeKind kind = argument.type.kind;
    if (text.empty()) {
        if (kind == BindingTypeKind::Bool) {
            parameter.setBool(true);
        } else if (kind == BindingTypeKind::Object || kind == BindingTypeKind::Struct) {
            parameter.makeStructure();
        } else if (kind == BindingTypeKind::Vector) {
            parameter.makeCollection();
        } else {
            respondError(call, makeMessage(kExpectedValue, argument.name));
            return false;
        }
        return true;
    }
    return convertText(call, parameter, {}, text, isContainerKind(kind), argument.name,
                       function_.name);
}

bool TextArgumentAssigner::assignPath(CallResult& call, BindingValue& parameter,
                                      std::string_view path, std::string_view text) {
    BindingValue* target = &parameter;
    std::string_view segment;
    for (std::size_t depth = 1;; ++depth) {
        const std::size_t dot = path.find('.');
        segment = path.substr(0, dot);
        if (depth > kMaxIndexPathSegments) {
            respondError(call, makeMessage(kIndexRange, segment));
            return false;
        }
        if (segment.empty() || segment.front() < '0' || segment.front() > '9') {
            target = &target->member(segment);
        } else {
            const std::string digits(segment);
            char* end = nullptr;
            errno = 0;
            const unsigned long number = std::strtoul(digits.c_str(), &end, 0);
            if (*end != '\0') {
                respondError(call, makeMessage(kIndexFormat, segment));
                return false;
            }
            const std::size_t size =
                target->kind() == BindingValueKind::Collection ? target->size() : 0;
            const std::size_t growth = number >= size ? number - size + 1 : 0;
            if (errno == ERANGE || number >= 0x80000000ul || growth > indexBudget_) {
                respondError(call, makeMessage(kIndexRange, segment));
                return false;
            }
            indexBudget_ -= growth;
            target = &target->element(number);
        }
        if (dot == std::string_view::npos) {
            break;
        }
        path.remove_prefix(dot + 1);
    }
    return convertText(call, *target, {}, text, false, segment, function_.name);
}

}  // namespace tav

#include "formats/structured_error.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "formats/json.h"
#include "formats/rapidjson_config.h"
#include "text/message.h"

namespace tav {
namespace {

namespace rj = RAPIDJSON_NAMESPACE;

constexpr std::size_t kInitialCapacity = 256;

using ErrorWriter = JsonWriter<JsonStringBuffer>;

// As the value writer does: long strings are escaped by our own code.
void writeString(ErrorWriter& writer, std::string_view text, bool isKey) {
    if (text.size() > detail::kJsonLongString) {
        const std::string quoted = detail::quoteJsonString(text);
        writer.RawValue(quoted.data(), quoted.size(), rj::kStringType);
    } else if (isKey) {
        writer.Key(text.data(), static_cast<rj::SizeType>(text.size()));
    } else {
        writer.String(text.data(), static_cast<rj::SizeType>(text.size()));
    }
}

struct AttributeWriter {
    ErrorWriter& writer;

    void operator()(bool value) const { writer.Bool(value); }
    void operator()(std::int64_t value) const { writer.Int64(value); }
    void operator()(std::uint64_t value) const { writer.Uint64(value); }
    // As in writeJson: null rather than a half-written member.
    void operator()(double value) const {
        if (std::isfinite(value)) {
            writer.Double(value);
        } else {
            writer.Null();
        }
    }
    void operator()(const std::string& value) const { writeString(writer, value, false); }
};

bool usesPlainForm(std::span<const StructuredErrorAttribute> attributes) {
    return attributes.empty() ||
           (attributes.size() == 1 && attributes.front().name == "errorFields_int");
}

}  // namespace

StructuredError::StructuredError(std::int32_t code, std::string message)
    : message_(std::move(message)) {
    setCode(code);
}

void StructuredError::setCode(std::int32_t code) {
    code_ = code;
    if (code != 0) {
        setAttribute(kCodeAttribute, std::int64_t{code});
    }
}

void StructuredError::setAttributeValue(std::string_view name, StructuredErrorValue value) {
    const auto found =
        std::find_if(attributes_.begin(), attributes_.end(),
                     [name](const auto& attribute) { return attribute.name == name; });
    if (found != attributes_.end()) {
        found->value = std::move(value);
    } else {
        attributes_.push_back({std::string(name), std::move(value)});
    }
}

bool StructuredError::removeAttribute(std::string_view name) {
    return std::erase_if(attributes_,
                         [name](const auto& attribute) { return attribute.name == name; }) != 0;
}

const StructuredErrorValue* StructuredError::findAttribute(std::string_view name) const noexcept {
    for (const StructuredErrorAttribute& attribute : attributes_) {
        if (attribute.name == name) {
            return &attribute.value;
        }
    }
    return nullptr;
}

std::string errorText(const StructuredError& error) {
    if (!error.hasMessage()) {
        return {};
    }
    const std::span<const StructuredErrorAttribute> attributes = error.attributes();
    if (usesPlainForm(attributes)) {
        if (error.code() == 0) {
            return std::string(error.message());
        }
        return makeMessage("%1 (%2)", error.message(), error.code());
    }
    JsonStringBuffer buffer(nullptr, kInitialCapacity);
    ErrorWriter writer(buffer);
    writer.StartObject();
    writeString(writer, "message", true);
    writeString(writer, error.message(), false);
    for (const StructuredErrorAttribute& attribute : attributes) {
        writeString(writer, attribute.name, true);
        std::visit(AttributeWriter{writer}, attribute.value);
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

}  // namespace tav

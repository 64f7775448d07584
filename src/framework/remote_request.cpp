#include "framework/remote_request.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "binding/host_value.h"
#include "diag/allocation.h"
#include "formats/json.h"
#include "framework/framework_types.h"
#include "framework/plugin_base.h"
#include "framework/resource_events.h"

namespace tav {
namespace {

// The fixed texts of this subsystem. {method}, {url} and {error} are replaced
// by name, each filled one also kept as an attribute "<name>_str".
constexpr std::string_view kNotSent =
    "Request not sent: Error converting parameters for {method} {url}: {error}";
constexpr std::string_view kErrorResponse = "Error response for {method} {url}: {error}";
constexpr std::string_view kStreamedResponse =
    "Error reading streamed response for {method} {url}: {error}";
constexpr std::string_view kConvertingResponse =
    "Error converting response for {method} {url}: {error}";
constexpr std::string_view kStreamReadError = "Stream read error";
// Not one of the request texts: the host record's counts are 32 bits, and a
// value too large for them cannot be handed over.
constexpr std::string_view kTooLargeForHost =
    "Couldn't convert value to a host value because it is too large.";

constexpr std::int32_t kNotSentStatus = 400;

constexpr std::uint32_t kStreamChunk = 4096;
// The length hint comes from another plugin: it sizes the first reservation
// only up to this much, and the text grows as the bytes actually arrive.
constexpr std::size_t kStreamReservationCap = std::size_t{1} << 20;

using StreamText = std::basic_string<char, std::char_traits<char>, diag::CountingAllocator<char>>;

struct Placeholder {
    std::string_view name;  // without braces, as the attribute's stem
    std::string_view text;
};

// Replaces every known {name} in one pass, so that a URL or error text that
// itself contains "{error}" is copied as it is.
StructuredError requestError(std::int32_t code, std::string_view format, MethodCode method,
                             std::string_view url, std::string_view error) {
    const std::array<Placeholder, 3> placeholders{{
        {"method", methodName(method)},
        {"url", url},
        {"error", error},
    }};
    std::array<bool, 3> filled{};
    std::string message;
    message.reserve(format.size() + url.size() + error.size() + 8);
    std::size_t position = 0;
    while (position < format.size()) {
        const std::size_t open = format.find('{', position);
        if (open == std::string_view::npos) {
            message.append(format.substr(position));
            break;
        }
        message.append(format.substr(position, open - position));
        bool replaced = false;
        for (std::size_t i = 0; i < placeholders.size() && !replaced; ++i) {
            const std::string_view name = placeholders[i].name;
            if (format.substr(open + 1, name.size()) == name &&
                format.substr(open + 1 + name.size(), 1) == "}") {
                message.append(placeholders[i].text);
                filled[i] = true;
                position = open + name.size() + 2;
                replaced = true;
            }
        }
        if (!replaced) {
            message.push_back('{');
            position = open + 1;
        }
    }

    StructuredError result(code, std::move(message));
    for (std::size_t i = 0; i < placeholders.size(); ++i) {
        if (filled[i]) {
            result.setAttribute(std::string(placeholders[i].name) + "_str", placeholders[i].text);
        }
    }
    return result;
}

// Reads the whole stream into text; the error text on failure.
std::optional<std::string_view> readStream(PluginBase& plugin, ResponseRecord& response,
                                           StreamText& text) {
    const TavResponse& record = *response;
    text.reserve(std::min<std::size_t>(record.streamLengthHint, kStreamReservationCap));
    std::array<std::uint8_t, kStreamChunk> chunk;
    std::uint8_t more = 1;
    bool failed = false;
    while (more != 0) {
        std::uint32_t count = kStreamChunk;
        // A count beyond the buffer cannot be trusted any more than a failed
        // read: stop before copying past it.
        if (record.streamRead(record.stream, chunk.data(), &count, &more) == 0 ||
            count > kStreamChunk) {
            failed = true;
            break;
        }
        text.append(reinterpret_cast<const char*>(chunk.data()), count);
        if (count < kStreamChunk && more != 0) {
            plugin.yield();
        }
    }
    response.closeStream();
    if (failed) {
        return kStreamReadError;
    }
    return std::nullopt;
}

// Sends method url with args (none, or the one structure argument).
RequestOutcome<void> sendRecord(PluginBase& plugin, MethodCode method, std::string_view url,
                                const TavHostArgument* argument, ResponseRecord& response) {
    response.reset();

    const std::string urlText(url);
    TavRequest request{};
    const MethodCode code = methodCodeOf(static_cast<std::uint32_t>(method));
    request.method = static_cast<std::uint32_t>(code);
    request.url = urlText.c_str();
    request.arguments = argument;
    request.argumentCount = argument != nullptr ? 1 : 0;
    request.requestContext = plugin.hostContext();
    // The custom method word stays 0: a method is only ever given by code here,
    // and code 8 names none.
    plugin.SendRequest(response.get(), &request);

    // An answering side that ran out of memory may set the error byte without
    // managing to copy its text: that is still an error, with an empty text.
    if (response->errorText == nullptr && response->isError == 0) {
        return {};
    }
    return requestError(static_cast<std::int32_t>(response->status), kErrorResponse, method, url,
                        response->errorText != nullptr ? response->errorText : "");
}

RequestOutcome<void> sendStructure(PluginBase& plugin, MethodCode method, std::string_view url,
                                   const BindingValue& parameters, ResponseRecord& response) {
    HostValueRecord record;
    if (!valueToHost(&plugin.registry(), record, parameters)) {
        return requestError(kNotSentStatus, kNotSent, method, url, kTooLargeForHost);
    }
    const TavHostArgument argument{nullptr, record.root()};
    return sendRecord(plugin, method, url, &argument, response);
}

}  // namespace

void ResponseRecord::closeStream() {
    if (streamClosed_ || record_.streamRead == nullptr) {
        return;
    }
    streamClosed_ = true;
    if (record_.streamClose != nullptr) {
        record_.streamClose(record_.stream);
    }
}

void ResponseRecord::reset() {
    release();
    record_ = TavResponse{};
    streamClosed_ = false;
}

void ResponseRecord::release() {
    closeStream();
    if (TavResponseRelease function = record_.release; function != nullptr) {
        function(&record_);
        record_.release = nullptr;
    }
}

RequestOutcome<void> sendRaw(PluginBase& plugin, MethodCode method, std::string_view url,
                             const BindingValue* parameters, ResponseRecord& response) {
    if (parameters == nullptr) {
        return sendRecord(plugin, method, url, nullptr, response);
    }
    return sendStructure(plugin, method, url, *parameters, response);
}

RequestOutcome<BindingValue> readAnswer(PluginBase& plugin, MethodCode method, std::string_view url,
                                        ResponseRecord& response) {
    const TavResponse& record = *response;
    if (record.streamRead != nullptr) {
        StreamText text;
        if (const auto failure = readStream(plugin, response, text)) {
            return requestError(0, kStreamedResponse, method, url, *failure);
        }
        BindingResult parsed = readJson(std::string_view(text.data(), text.size()));
        if (!parsed) {
            return requestError(0, kStreamedResponse, method, url, parsed.error());
        }
        return RequestOutcome<BindingValue>(std::move(parsed.value));
    }
    BindingValue value;
    BindingErrorSink sink;
    if (!hostToValue(sink, value, record.value, "<result>")) {
        return conversionError(method, url, sink.message);
    }
    return RequestOutcome<BindingValue>(std::move(value));
}

StructuredError conversionError(MethodCode method, std::string_view url, std::string_view error) {
    return requestError(0, kConvertingResponse, method, url, error);
}

RequestOutcome<void> requestWithParameters(PluginBase& plugin, MethodCode method,
                                           std::string_view url,
                                           std::span<const NamedValue> parameters) {
    BindingValue structure;
    structure.makeStructure();
    for (const NamedValue& parameter : parameters) {
        structure.member(parameter.name) = parameter.value;
    }
    ResponseRecord response;
    return sendStructure(plugin, method, url, structure, response);
}

RequestOutcome<void> SendEvent(PluginBase& plugin, std::string_view eventName,
                               const PluginResourceEvent& payload, std::uint32_t word) {
    const BindingResult converted = toValue(payload, plugin.registry());
    if (!converted) {
        return StructuredError(0, std::string(converted.error()));
    }
    return SendEvent(plugin, eventName, payload.uri, converted.value, word);
}

RequestOutcome<void> SendEvent(PluginBase& plugin, std::string_view eventName, std::string_view uri,
                               const BindingValue& payload, std::uint32_t word) {
    const std::string derivedName = eventNameForUri(uri);
    HostValueRecord record;
    if (!valueToHost(&plugin.registry(), record, payload)) {
        return StructuredError(0, std::string(kTooLargeForHost));
    }

    TavHostEvent event{};
    event.name = derivedName.c_str();
    event.payload = record.root();
    event.word = word;
    plugin.PublishEvent(&event);
    if (eventName != derivedName) {
        const std::string givenName(eventName);
        event.name = givenName.c_str();
        plugin.PublishEvent(&event);
    }
    return {};
}

namespace detail {

const BindingTypeRegistry& pluginRegistry(const PluginBase& plugin) {
    return plugin.registry();
}

RequestOutcome<void> sendConvertedParameters(PluginBase& plugin, MethodCode method,
                                             std::string_view url, const BindingResult& converted) {
    if (!converted) {
        return requestError(kNotSentStatus, kNotSent, method, url, converted.error());
    }
    ResponseRecord response;
    return sendStructure(plugin, method, url, converted.value, response);
}

}  // namespace detail

}  // namespace tav

#include "hosting/api_routing.h"

#include <array>

#include "api/method_names.h"
#include "binding/host_value.h"

namespace tav::devhost {
namespace {

// A stream longer than this is cut: the tool answers a browser, not a file
// transfer.
constexpr std::size_t kMaxStreamBytes = std::size_t{64} << 20;

std::string_view nextSegment(std::string_view& rest) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    return segment;
}

}  // namespace

bool pathMatchesTemplate(std::string_view pathTemplate, std::string_view path) {
    if (pathTemplate.find('{') == std::string_view::npos) {
        return pathTemplate == path;
    }
    std::string_view t = pathTemplate;
    std::string_view p = path;
    bool pathLeft = true;
    while (!t.empty()) {
        const std::string_view segment = nextSegment(t);
        if (segment.starts_with("{+")) {
            return true;  // takes the rest, whatever it is
        }
        if (!pathLeft) {
            return false;
        }
        pathLeft = p.find('/') != std::string_view::npos;
        const std::string_view piece = nextSegment(p);
        // An empty segment fills no parameter ("actions/" is not an action).
        const bool parameter = segment.starts_with('{') && segment.ends_with('}');
        if (parameter ? piece.empty() : segment != piece) {
            return false;
        }
    }
    return !pathLeft;
}

EndpointMatch findEndpoint(const TavEndpointTable& table, std::string_view method,
                           std::string_view path) {
    EndpointMatch match;
    const auto code = static_cast<std::uint32_t>(methodCodeNamed(method));
    bool literal = false;
    for (std::uint32_t i = 0; i < table.endpointCount; ++i) {
        const TavEndpointRecord& endpoint = table.endpoints[i];
        if (endpoint.path == nullptr || !pathMatchesTemplate(endpoint.path, path)) {
            continue;
        }
        const std::string_view endpointMethod =
            endpoint.method == TAV_METHOD_CUSTOM
                ? std::string_view(endpoint.customMethod != nullptr ? endpoint.customMethod : "")
                : methodName(endpoint.method);
        match.allowedMethods.emplace_back(endpointMethod);
        const bool methodFits = endpoint.method == TAV_METHOD_NONE ||
                                (endpoint.method == code && endpointMethod == method);
        const bool isLiteral = std::string_view(endpoint.path).find('{') == std::string_view::npos;
        if (methodFits && (match.endpoint == nullptr || (isLiteral && !literal))) {
            match.endpoint = &endpoint;
            literal = isLiteral;
        }
    }
    return match;
}

ApiAnswer callEndpoint(const TavEndpointRecord& endpoint, const ApiRequest& request) {
    std::vector<TavHostHeader> headers;
    headers.reserve(request.headers.size());
    for (const auto& [name, value] : request.headers) {
        headers.push_back({name.c_str(), value.c_str()});
    }
    TavRequest record{};
    record.method = static_cast<std::uint32_t>(methodCodeNamed(request.method));
    record.url = request.target.c_str();
    record.endpoint = endpoint.function.endpoint;
    record.headers = headers.empty() ? nullptr : headers.data();
    record.headerCount = static_cast<std::uint32_t>(headers.size());
    // The body goes with its length; the module reads no further.
    if (!request.body.empty()) {
        record.contentType = request.contentType.c_str();
        record.body = reinterpret_cast<const std::uint8_t*>(request.body.c_str());
        record.bodyLength = static_cast<std::uint32_t>(request.body.size());
    }
    if (record.method == TAV_METHOD_CUSTOM) {
        record.customMethod = request.method.c_str();
    }

    TavResponse response{};
    endpoint.entry(&response, &record);

    ApiAnswer answer;
    answer.status = response.status;
    answer.isError = response.isError != 0;
    if (answer.isError) {
        answer.errorText = response.errorText != nullptr ? response.errorText : "";
    } else if (response.streamRead != nullptr) {
        answer.streamed = true;
        std::array<std::uint8_t, 4096> chunk;
        std::uint8_t more = 1;
        while (more != 0 && answer.streamText.size() < kMaxStreamBytes) {
            std::uint32_t count = chunk.size();
            if (response.streamRead(response.stream, chunk.data(), &count, &more) == 0 ||
                count > chunk.size()) {
                answer.isError = true;
                answer.errorText = "Stream read error";
                break;
            }
            answer.streamText.append(reinterpret_cast<const char*>(chunk.data()), count);
        }
    } else {
        BindingErrorSink sink;
        if (!hostToValue(sink, answer.value, response.value, "<response>")) {
            answer.isError = true;
            answer.errorText = sink.message;
            answer.status = 500;
        }
    }
    if (response.streamClose != nullptr && response.stream != nullptr) {
        response.streamClose(response.stream);
    }
    if (response.contentType != nullptr) {
        answer.contentType = response.contentType;
    }
    for (std::uint32_t i = 0; i < response.headerCount && response.headers != nullptr; ++i) {
        const TavHostHeader& header = response.headers[i];
        if (header.name != nullptr && header.value != nullptr) {
            answer.headers.emplace_back(header.name, header.value);
        }
    }
    if (response.release != nullptr) {
        response.release(&response);
    }
    return answer;
}

}  // namespace tav::devhost

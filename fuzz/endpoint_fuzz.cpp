// The plugin's endpoint entry with request records built from the input, the
// plugin loaded in-process against a fake host whose implementations answer
// every forwarded request as the input says. The input's lines:
//   1: "<endpoint> <method> <active>": the endpoint's index in the endpoint
//      table (modulo its size), the request's method code ("-": the
//      endpoint's own) and the active implementation (0 none, 1 legacy,
//      2 team builder);
//   2: the URL (path and optional "?query");
//   then, up to an empty line, any of
//      "H name: value"   a header
//      "A name json"     an argument ("-" for a null name), its value as JSON
//      "C type"          the content type (none when absent)
//      "M method"        the custom method
//      "R json"          the implementations' answer
//      "E status text"   the implementations' error instead
//   the rest: the body.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/host_value.h"
#include "fake_host.h"
#include "formats/json.h"
#include "framework/resource_events.h"
#include "fuzz_check.h"
#include "host_records.h"

namespace {

using tav::fuzz::takeLine;

constexpr const char* kLegacy = "/tav-champ-select-legacy/";
constexpr const char* kTeamBuilder = "/tav-lobby-team-builder/champ-select/";

// What the scripted implementations answer to the current input.
struct Answer {
    bool isError = false;
    std::uint32_t status = 0;
    std::string errorText;
    tav::BindingValue value;
};

Answer gAnswer;

void TAV_ABI releaseAnswer(TavResponse* response) {
    tav::freeHostValue(response->value);
    response->value = TavHostValue{};
}

void answerRequest(TavResponse& response, const tav::testing::RecordedRequest& request) {
    if (request.url.ends_with("v1/implementation-active")) {
        response.value.tag = TAV_HOST_BOOL;  // overridden by the input's events
        return;
    }
    if (gAnswer.isError) {
        response.isError = 1;
        response.status = gAnswer.status;
        response.errorText = gAnswer.errorText.c_str();
        return;
    }
    tav::HostValueRecord record;
    if (tav::valueToHost(nullptr, record, gAnswer.value)) {
        response.value = record.release();
        response.release = releaseAnswer;
    }
}

// The plugin, loaded and initialised once for the whole run.
struct LoadedPlugin {
    tav::testing::FakeHost host;
    TavLoadRecord record{};
    TavInitRecord init{};
    const TavEndpointTable* endpoints = nullptr;

    LoadedPlugin() {
        host.answer = answerRequest;
        record.apiMajor = 18;
        load_tav_champ_select(&record);
        init = host.initRecord();
        tav::fuzz::check(
            record.callbacks != nullptr && record.callbacks->init(record.context, &init) != 0,
            "the plugin starts");
        endpoints = static_cast<const TavEndpointTable*>(record.endpointTable);
        tav::fuzz::check(endpoints != nullptr && endpoints->endpointCount != 0, "endpoints");
    }

    void setActive(unsigned active) {
        for (const auto& [base, which] : {std::pair{kLegacy, 1u}, std::pair{kTeamBuilder, 2u}}) {
            const tav::HostValueRecord payload =
                tav::testing::implementationActive(base, active == which);
            host.deliver(tav::eventNameForUri(std::string(base) + "v1/implementation-active"),
                         payload.root());
        }
    }

    void forgetCalls() {
        host.requests.clear();
        host.published.clear();
        host.calls.clear();
        host.logLines.clear();
    }
};

LoadedPlugin& plugin() {
    static LoadedPlugin* loaded = new LoadedPlugin;  // lives as long as the process
    return *loaded;
}

// The request's texts and records, alive for the call.
struct RequestParts {
    std::string url;
    std::string contentType;
    bool hasContentType = false;
    std::string customMethod;
    std::deque<std::string> texts;
    std::vector<TavHostHeader> headers;
    std::deque<tav::HostValueRecord> values;
    std::vector<TavHostArgument> arguments;
};

void readDirective(std::string_view line, RequestParts& parts) {
    if (line.size() < 2 || line[1] != ' ') {
        return;
    }
    const std::string_view text = line.substr(2);
    const std::size_t split = text.find(' ');
    const std::string_view first = text.substr(0, split);
    const std::string_view second =
        split == std::string_view::npos ? std::string_view() : text.substr(split + 1);
    switch (line[0]) {
        case 'H': {
            const std::size_t colon = text.find(": ");
            const std::string& name = parts.texts.emplace_back(text.substr(0, colon));
            const std::string& value = parts.texts.emplace_back(
                colon == std::string_view::npos ? std::string_view() : text.substr(colon + 2));
            parts.headers.push_back({name.c_str(), value.c_str()});
            break;
        }
        case 'A': {
            tav::HostValueRecord& value = parts.values.emplace_back();
            if (!tav::valueToHost(nullptr, value, tav::readJson(second).value)) {
                break;
            }
            const char* name = first == "-" ? nullptr : parts.texts.emplace_back(first).c_str();
            parts.arguments.push_back({name, value.root()});
            break;
        }
        case 'C':
            parts.contentType = text;
            parts.hasContentType = true;
            break;
        case 'M':
            parts.customMethod = text;
            break;
        case 'R':
            gAnswer.isError = false;
            gAnswer.value = tav::readJson(text).value;
            break;
        case 'E':
            gAnswer.isError = true;
            gAnswer.status =
                static_cast<std::uint32_t>(std::strtoul(std::string(first).c_str(), nullptr, 10));
            gAnswer.errorText = second;
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LoadedPlugin& loaded = plugin();
    std::string_view rest(reinterpret_cast<const char*>(data), size);

    const std::string head(takeLine(rest));
    unsigned long index = 0;
    unsigned long active = 0;
    char method[16] = "-";
    (void)std::sscanf(head.c_str(), "%lu %15s %lu", &index, method, &active);
    const TavEndpointRecord& endpoint =
        loaded.endpoints->endpoints[index % loaded.endpoints->endpointCount];

    gAnswer = Answer{};
    RequestParts parts;
    parts.url = takeLine(rest);
    for (std::string_view line = takeLine(rest); !line.empty(); line = takeLine(rest)) {
        readDirective(line, parts);
    }
    loaded.setActive(static_cast<unsigned>(active % 3));

    TavRequest request{};
    request.method = method[0] == '-'
                         ? endpoint.method
                         : static_cast<std::uint32_t>(std::strtoul(method, nullptr, 10));
    request.url = parts.url.c_str();
    request.endpoint = endpoint.function.endpoint;
    request.arguments = parts.arguments.empty() ? nullptr : parts.arguments.data();
    request.argumentCount = static_cast<std::uint32_t>(parts.arguments.size());
    request.headers = parts.headers.empty() ? nullptr : parts.headers.data();
    request.headerCount = static_cast<std::uint32_t>(parts.headers.size());
    request.contentType = parts.hasContentType ? parts.contentType.c_str() : nullptr;
    request.body = reinterpret_cast<const std::uint8_t*>(rest.data());
    request.bodyLength = static_cast<std::uint32_t>(rest.size());
    request.customMethod = parts.customMethod.empty() ? nullptr : parts.customMethod.c_str();

    TavResponse response{};
    endpoint.entry(&response, &request);
    tav::fuzz::check(response.isError == 0 || response.errorText != nullptr,
                     "an error response has its text");
    tav::BindingErrorSink sink;
    tav::BindingValue answer;
    tav::fuzz::check(tav::hostToValue(sink, answer, response.value, "<response>"),
                     "the response's value reads");
    if (response.streamClose != nullptr) {
        response.streamClose(response.stream);
    }
    if (response.release != nullptr) {
        response.release(&response);
    }
    loaded.forgetCalls();
    return 0;
}

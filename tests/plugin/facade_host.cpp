#include "facade_host.h"

#include <algorithm>
#include <cstring>

#include "api/method_names.h"
#include "binding/host_value.h"
#include "formats/json.h"
#include "framework/resource_events.h"
#include "host_records.h"

namespace tav::testing {

BindingValue boolean(bool b) {
    BindingValue value;
    value.setBool(b);
    return value;
}

BindingValue json(const char* text) {
    return readJson(text).value;
}

// A streamed answer, read in one piece. Kept until the host goes, so that a
// close after the response's release is seen rather than a use after free.
struct FacadeHost::Stream {
    std::string text;
    int closes = 0;

    static std::uint8_t TAV_ABI read(void* handle, std::uint8_t* buffer, std::uint32_t* count,
                                     std::uint8_t* more) {
        Stream& self = *static_cast<Stream*>(handle);
        const std::size_t n = std::min<std::size_t>(*count, self.text.size());
        std::memcpy(buffer, self.text.data(), n);
        self.text.erase(0, n);
        *count = static_cast<std::uint32_t>(n);
        *more = self.text.empty() ? 0 : 1;
        return 1;
    }
    static void TAV_ABI close(void* handle) { ++static_cast<Stream*>(handle)->closes; }
    static void TAV_ABI release(TavResponse* response) {
        std::memset(response, 0, sizeof *response);
    }
};

FacadeHost::FacadeHost() : module(TAV_PLUGIN_MODULE_PATH), answers(module.host()) {
    module.host().answer = [this, scripted = module.host().answer](TavResponse& response,
                                                                   const RecordedRequest& request) {
        const auto found = streamed_.find(request.url);
        if (found == streamed_.end()) {
            scripted(response, request);
            return;
        }
        Stream& stream = *streams_.emplace_back(std::make_unique<Stream>());
        stream.text = found->second.text;
        response.streamRead = &Stream::read;
        response.streamClose = &Stream::close;
        response.streamLengthHint = static_cast<std::uint32_t>(stream.text.size());
        response.stream = &stream;
        response.status = found->second.errorStatus != 0 ? found->second.errorStatus : 200;
        if (found->second.errorStatus != 0) {
            response.isError = 1;
            response.errorText = "Refused";
        }
        response.release = &Stream::release;
    };
}

FacadeHost::~FacadeHost() = default;

void FacadeHost::start() {
    module.load();
    module.init();
}

void FacadeHost::deliver(const std::string& base, const std::string& relativePath,
                         const char* eventType, const BindingValue& data) {
    const std::string uri = base + relativePath;
    BindingValue payload;
    payload.member("uri").setString(uri);
    payload.member("eventType").setString(eventType);
    payload.member("data") = data;
    HostValueRecord record;
    if (valueToHost(nullptr, record, payload)) {
        module.host().deliver(eventNameForUri(uri), record.root());
    }
}

void FacadeHost::setActive(const std::string& base, const BindingValue& active) {
    deliver(base, "v1/implementation-active", "Update", active);
}

std::vector<std::string> FacadeHost::takePublished() {
    std::vector<std::string> out;
    for (const RecordedEvent& event : module.host().published) {
        out.push_back(event.name + " " + writeJson(event.payload.find("eventType")) + " " +
                      std::string(event.payload.find("uri").asString()));
    }
    module.host().published.clear();
    return out;
}

std::vector<std::string> FacadeHost::takeLog() {
    std::vector<std::string> out;
    for (const auto& [level, text] : module.host().logLines) {
        out.push_back(std::to_string(level) + " " + text);
    }
    module.host().logLines.clear();
    return out;
}

FacadeHost::Answer FacadeHost::call(std::uint32_t method, const std::string& route,
                                    const std::string& path, const std::string& body,
                                    const char* contentType) {
    Answer answer;
    const TavEndpointRecord* endpoint = findEndpoint(module.record().endpointTable, method, route);
    if (endpoint == nullptr) {
        return answer;
    }
    answer.found = true;
    const TavRequest request = requestTo(*endpoint, path.c_str(), body, contentType);
    TavResponse response{};
    endpoint->entry(&response, &request);
    answer.isError = response.isError != 0;
    answer.status = response.status;
    if (answer.isError && response.errorText != nullptr) {
        answer.error = response.errorText;
    } else {
        BindingErrorSink sink;
        (void)hostToValue(sink, answer.value, response.value, "<response>");
    }
    if (response.release != nullptr) {
        response.release(&response);
    }
    return answer;
}

std::vector<std::string> FacadeHost::takeForwarded() {
    std::vector<std::string> out;
    for (const RecordedRequest& request : module.host().requests) {
        out.push_back(std::string(methodName(request.method)) + " " + request.url);
    }
    module.host().requests.clear();
    return out;
}

void FacadeHost::stream(const std::string& url, const std::string& text,
                        std::uint32_t errorStatus) {
    streamed_[url] = {text, errorStatus};
}

int FacadeHost::openStreams() const {
    return static_cast<int>(std::count_if(streams_.begin(), streams_.end(),
                                          [](const auto& s) { return s->closes == 0; }));
}

int FacadeHost::doubleCloses() const {
    return static_cast<int>(std::count_if(streams_.begin(), streams_.end(),
                                          [](const auto& s) { return s->closes > 1; }));
}

}  // namespace tav::testing

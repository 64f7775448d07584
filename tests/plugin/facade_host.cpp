#include "facade_host.h"

#include <algorithm>
#include <cstring>

#include "api/method_names.h"
#include "binding/host_value.h"
#include "formats/json.h"
#include "framework/resource_events.h"
#include "host_records.h"

namespace tav::testing {

BindingValue json(const char* text) {
    return readJson(text).value;
}

namespace {

// The one host answering at a time; release has no other way back.
FacadeHost* gCurrent = nullptr;

}  // namespace

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
};

struct FacadeHost::Live {
    HostValueRecord record;
    std::string errorText;
};

FacadeHost::FacadeHost() : module(TAV_PLUGIN_MODULE_PATH) {
    gCurrent = this;
    module.host().answer = [this](TavResponse& response, const RecordedRequest& request) {
        respond(response, request);
    };
}

FacadeHost::~FacadeHost() {
    if (gCurrent == this) {
        gCurrent = nullptr;
    }
}

void FacadeHost::answer(const std::string& url, const BindingValue& value) {
    scripts_[url] = {value, 200, {}, false};
}

void FacadeHost::answerStream(const std::string& url, const std::string& text,
                              std::uint32_t errorStatus) {
    scripts_[url] = {{}, errorStatus != 0 ? errorStatus : 200, text, true};
}

void FacadeHost::respond(TavResponse& response, const RecordedRequest& request) {
    auto live = std::make_unique<Live>();
    response.release = &FacadeHost::release;
    const auto found = scripts_.find(request.url);
    const Script script = found != scripts_.end() ? found->second : Script{{}, 404, "Not Found"};
    response.status = script.status;
    if (script.streamed) {
        Stream& stream = *streams_.emplace_back(std::make_unique<Stream>());
        stream.text = script.text;
        response.streamRead = &Stream::read;
        response.streamClose = &Stream::close;
        response.streamLengthHint = static_cast<std::uint32_t>(stream.text.size());
        response.stream = &stream;
        live->errorText = "Refused";
    } else if (script.status < 400) {
        (void)valueToHost(nullptr, live->record, script.value);
        response.value = live->record.root();
    } else {
        live->errorText = script.text;
    }
    if (response.status >= 400) {
        response.errorText = live->errorText.c_str();
        response.isError = 1;
    }
    live_[&response] = std::move(live);
}

void TAV_ABI FacadeHost::release(TavResponse* response) {
    if (gCurrent != nullptr) {
        gCurrent->live_.erase(response);
    }
    std::memset(response, 0, sizeof *response);
}

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

int FacadeHost::badStreams() const {
    return static_cast<int>(std::count_if(streams_.begin(), streams_.end(),
                                          [](const auto& s) { return s->closes != 1; }));
}

}  // namespace tav::testing

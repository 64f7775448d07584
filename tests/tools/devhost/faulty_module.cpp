// A module that fails as a module can: its one endpoint crashes on
// "/faulty/v1/crash" and never returns on "/faulty/v1/hang". The replay
// tests feed it traces to see both reported as findings of the replay.
#include <chrono>
#include <cstdint>
#include <string_view>
#include <thread>

#include <tav/plugin_abi.h>

namespace {

void TAV_ABI entry(TavResponse* response, const TavRequest* request) {
    const std::string_view url = request->url != nullptr ? request->url : "";
    if (url == "/faulty/v1/crash") {
        // A trap, not a null store, which a sanitizer would report first.
        __builtin_trap();
    }
    while (url == "/faulty/v1/hang") {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    response->status = 204;
}

std::uint8_t TAV_ABI init(void*, const TavInitRecord*) {
    return 1;
}
void TAV_ABI shutdown(void*) {}
void TAV_ABI memoryStats(void*, std::uint32_t* words) {
    for (int i = 0; i < 14; ++i) {
        words[i] = 0;
    }
}

const TavPluginCallbacks kCallbacks = {&init, &shutdown, &memoryStats};
const char kEmpty[] = "";

TavEndpointRecord makeEndpoint(const char* path) {
    TavEndpointRecord endpoint{};
    endpoint.function.name = path;
    endpoint.function.nameSpace = kEmpty;
    endpoint.function.returnTypeName = kEmpty;
    endpoint.entry = &entry;
    endpoint.path = path;
    endpoint.method = TAV_METHOD_GET;
    endpoint.customMethod = kEmpty;
    return endpoint;
}

const TavEndpointRecord kEndpoints[] = {makeEndpoint("/faulty/v1/crash"),
                                        makeEndpoint("/faulty/v1/hang")};
const TavEndpointTable kTable = {kEndpoints, 2, nullptr, 0, nullptr, 0};

}  // namespace

extern "C" TAV_EXPORT void TAV_ABI load_tav_champ_select(TavLoadRecord* record) {
    record->apiMajor = 18;
    record->apiMinor = 0;
    record->apiPatch = 0;
    record->callbacks = &kCallbacks;
    record->context = nullptr;
    record->shortName = "faulty";
    record->endpointTable = &kTable;
}

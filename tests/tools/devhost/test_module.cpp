// A small module built in several variants for the process tests. GET
// /test/v1/which answers with status TAV_RELOAD_STATUS, so a test sees which
// build served it, or 503 when the host called it before its Init was done or
// after its Shutdown; Init takes a while, so a host that routes to a module
// still in Init would be caught. TAV_RELOAD_REFUSE_INIT and
// TAV_RELOAD_REFUSE_ENTRY make variants that fail as a new build can. For
// replay's findings, /test/v1/crash crashes and /test/v1/hang never returns.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>
#include <thread>

#include <tav/plugin_abi.h>

namespace {

std::atomic<bool> serving{false};

void TAV_ABI entry(TavResponse* response, const TavRequest* request) {
    const std::string_view url = request->url != nullptr ? request->url : "";
    if (url == "/test/v1/crash") {
        // A trap, not a null store, which a sanitizer would report first.
        __builtin_trap();
    }
    while (url == "/test/v1/hang") {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    response->status = serving ? TAV_RELOAD_STATUS : 503;
}

std::uint8_t TAV_ABI init(void*, const TavInitRecord*) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
#ifdef TAV_RELOAD_REFUSE_INIT
    return 0;
#else
    serving = true;
    return 1;
#endif
}
void TAV_ABI shutdown(void*) {
    serving = false;
}
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

const TavEndpointRecord kEndpoints[] = {
    makeEndpoint("/test/v1/which"), makeEndpoint("/test/v1/crash"), makeEndpoint("/test/v1/hang")};
const TavEndpointTable kTable = {kEndpoints, 3, nullptr, 0, nullptr, 0};

}  // namespace

extern "C" TAV_EXPORT void TAV_ABI load_tav_champ_select(TavLoadRecord* record) {
    record->apiPatch = TAV_RELOAD_STATUS - 200;  // shows as the module's version
    record->callbacks = &kCallbacks;
    record->context = nullptr;
    record->shortName = "test";
    record->endpointTable = &kTable;
#ifdef TAV_RELOAD_REFUSE_ENTRY
    record->callbacks = nullptr;  // how an entry refuses
#endif
}

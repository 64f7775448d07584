#include "api/response_record.h"

#include <cstring>

#include "api/dispatch_messages.h"
#include "binding/host_value.h"
#include "diag/allocation.h"
#include "log/host_guard.h"

namespace tav {

const char kSharedEmptyText[] = "";

namespace {

// The failure answer's text, shared and never freed: the failure is often
// exhausted memory, and an error form without its text reads as success.
constexpr const char* kSharedInternalError = messages::kInternalError;

char* copyText(std::string_view text) {
    auto* copy = static_cast<char*>(diag::allocate(text.size() + 1));
    if (copy == nullptr) {
        diag::throwBadAlloc();
    }
    if (!text.empty()) {
        std::memcpy(copy, text.data(), text.size());
    }
    copy[text.size()] = '\0';
    return copy;
}

void setError(TavResponse& response, std::string_view text) {
    response.errorText = copyText(text);
    response.isError = 1;
}

std::uint8_t TAV_ABI readStream(void* handle, std::uint8_t* buffer, std::uint32_t* count,
                                std::uint8_t* more) {
    return guardHostCall(
        "response stream read",
        [&]() -> std::uint8_t {
            bool hasMore = false;
            const bool ok = static_cast<ResponseStream*>(handle)->read(buffer, *count, hasMore);
            *more = hasMore ? 1 : 0;
            return ok ? 1 : 0;
        },
        []() -> std::uint8_t { return 0; });
}

void TAV_ABI closeStream(void* handle) {
    guardHostCall("response stream close", [&] { delete static_cast<ResponseStream*>(handle); });
}

void writeHeaders(TavResponse& response, const CallResult& call) {
    if (call.headers.empty()) {
        return;
    }
    const std::size_t count = call.headers.size();
    auto* headers = static_cast<TavHostHeader*>(diag::allocate(count * sizeof(TavHostHeader)));
    if (headers == nullptr) {
        diag::throwBadAlloc();
    }
    std::memset(static_cast<void*>(headers), 0, count * sizeof(TavHostHeader));
    // Counted in full before filling, so that a failed copy leaves a record
    // the release function can still free.
    response.headers = headers;
    response.headerCount = static_cast<std::uint32_t>(count);
    std::size_t i = 0;
    for (const auto& [name, value] : call.headers) {
        headers[i].name = copyText(name);
        headers[i].value = copyText(value);
        ++i;
    }
}

}  // namespace

void resetResponse(TavResponse& response) noexcept {
    std::memset(static_cast<void*>(&response), 0, sizeof response);
    response.release = releaseResponse;
}

void TAV_ABI releaseResponse(TavResponse* response) {
    if (response == nullptr) {
        return;
    }
    freeHostValue(response->value);
    if (response->isError != 0 && response->errorText != kSharedInternalError) {
        diag::deallocate(const_cast<char*>(response->errorText));
    }
    if (response->contentType != kSharedEmptyText) {
        diag::deallocate(const_cast<char*>(response->contentType));
    }
    if (response->headers != nullptr) {
        for (std::uint32_t i = 0; i < response->headerCount; ++i) {
            diag::deallocate(const_cast<char*>(response->headers[i].name));
            diag::deallocate(const_cast<char*>(response->headers[i].value));
        }
        diag::deallocate(const_cast<TavHostHeader*>(response->headers));
    }
    std::memset(static_cast<void*>(response), 0, sizeof *response);
}

void writeResponse(TavResponse& response, CallResult& call, const BindingTypeRegistry* registry) {
    std::uint32_t status = call.status;
    if (!call.result.ok) {
        setError(response, call.result.error());
    } else {
        HostValueRecord record;
        if (valueToHost(registry, record, call.result.value)) {
            response.value = record.release();
        } else {
            status = 400;
        }
    }
    response.flag = call.flag;
    response.mode = call.mode <= 3 ? call.mode : 0;
    response.status = status;
    response.contentType = call.contentType.empty() ? kSharedEmptyText : copyText(call.contentType);
    writeHeaders(response, call);
    if (call.stream != nullptr) {
        response.streamRead = readStream;
        response.streamClose = closeStream;
        response.streamLengthHint = call.stream->expectedLength();
        response.stream = call.stream.release();
    }
}

void writeErrorResponse(TavResponse& response, std::string_view text, std::uint32_t status) {
    setError(response, text);
    response.status = status;
    response.contentType = kSharedEmptyText;
}

void writeFailureResponse(TavResponse& response) noexcept {
    releaseResponse(&response);
    resetResponse(response);
    response.status = 500;
    response.contentType = kSharedEmptyText;
    response.isError = 1;
    response.errorText = kSharedInternalError;
}

}  // namespace tav

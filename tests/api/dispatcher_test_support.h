// A small harness for dispatcher tests: functions registered on a real API
// object, a handler that records what it was given and answers as told, and
// requests sent through the endpoint entry as host records, their response
// read back into plain values and released.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <tav/plugin_abi.h>

#include "api/api_object.h"
#include "api/endpoint_handler.h"
#include "binding/binding_value.h"
#include "binding/host_value.h"
#include "binding/type_registry.h"

namespace tav::testing {

struct Parameter {
    const char* name;
    BindingTypeKind kind = BindingTypeKind::String;
    ArgumentLocation location = ArgumentLocation::Any;
};

// Records the parameters it is given; invoke runs answer (if any).
class RecordingHandler final : public EndpointHandler {
public:
    std::function<void(CallResult&, const EndpointRequestInfo*)> answer;
    bool wantsInfo = false;
    std::vector<BindingValue> seen;
    int prepared = 0;
    int released = 0;

    std::uintptr_t prepare(CallResult& /*call*/, std::span<BindingValue> parameters,
                           void* /*requestContext*/) override {
        seen.assign(parameters.begin(), parameters.end());
        return static_cast<std::uintptr_t>(++prepared);
    }
    void invoke(CallResult& call, const EndpointRequestInfo* info, std::uintptr_t /*state*/,
                void* /*requestContext*/) override {
        if (answer) {
            answer(call, info);
        }
    }
    void release(std::uintptr_t /*state*/) override { ++released; }
    const StaticTypeInfo* requestInfoType() const override {
        return wantsInfo ? &staticTypeInfo<EndpointRequestInfo>() : nullptr;
    }
};

struct Request {
    Request(std::uint32_t method_, std::string url_,
            std::vector<std::pair<std::string, std::string>> headers_ = {},
            std::string contentType_ = {}, std::string body_ = {})
        : method(method_),
          url(std::move(url_)),
          headers(std::move(headers_)),
          contentType(std::move(contentType_)),
          body(std::move(body_)) {}

    std::uint32_t method = TAV_METHOD_GET;
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
    std::vector<TavHostArgument> arguments;
    std::string customMethod;
};

// A response read back: the error text (or none), status and value.
struct Answer {
    std::optional<std::string> error;
    std::uint32_t status = 0;
    BindingValue value;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    std::uint8_t flag = 0;
    std::uint32_t mode = 0;
};

class DispatchHarness {
public:
    // Registers a function named name with the parameters, its path and method.
    RouteRegistration& add(const char* name, const char* path, std::uint32_t method,
                           std::vector<Parameter> parameters,
                           std::shared_ptr<EndpointHandler> handler) {
        BindingFunctionDescriptor& function = registry.registerFunction(name, parameters.size());
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            function.arguments[i].name = parameters[i].name;
            function.arguments[i].type.kind = parameters[i].kind;
        }
        RouteRegistration& registration = api.registerRoute(function);
        registration.setPath(path).setMethod(method);
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            registration.locations[i] = parameters[i].location;
        }
        registration.handler = std::move(handler);
        return registration;
    }

    // Sends request to registration through the entry; the record is left
    // filled for the caller to inspect and release.
    static void send(const RouteRegistration& registration, const Request& request,
                     TavResponse& response) {
        std::vector<TavHostHeader> headers;
        for (const auto& [name, value] : request.headers) {
            headers.push_back({name.c_str(), value.c_str()});
        }
        TavRequest record{};
        record.method = request.method;
        record.url = request.url.c_str();
        record.arguments = request.arguments.data();
        record.argumentCount = static_cast<std::uint32_t>(request.arguments.size());
        record.endpoint = &registration.binding;
        record.headers = headers.data();
        record.headerCount = static_cast<std::uint32_t>(headers.size());
        record.contentType = request.contentType.c_str();
        record.body = reinterpret_cast<const std::uint8_t*>(request.body.data());
        record.bodyLength = static_cast<std::uint32_t>(request.body.size());
        record.customMethod = request.customMethod.c_str();
        response = TavResponse{};
        ApiObject::endpointEntry()(&response, &record);
    }

    // Sends, reads the answer and releases the record.
    static Answer call(const RouteRegistration& registration, const Request& request) {
        TavResponse response;
        send(registration, request, response);
        Answer answer;
        if (response.isError != 0) {
            answer.error = response.errorText;
        }
        answer.status = response.status;
        BindingErrorSink sink;
        EXPECT_TRUE(hostToValue(sink, answer.value, response.value, "<result>"));
        answer.contentType = response.contentType;
        for (std::uint32_t i = 0; i < response.headerCount; ++i) {
            answer.headers.emplace_back(response.headers[i].name, response.headers[i].value);
        }
        answer.flag = response.flag;
        answer.mode = response.mode;
        if (response.streamClose != nullptr) {
            response.streamClose(response.stream);
        }
        response.release(&response);
        return answer;
    }

    BindingTypeRegistry registry;
    ApiObject api;
};

}  // namespace tav::testing

#include "api/dispatcher.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "api/call_result.h"
#include "api/dispatch_messages.h"
#include "api/endpoint_handler.h"
#include "api/method_names.h"
#include "api/percent_decoding.h"
#include "api/response_record.h"
#include "api/route.h"
#include "api/route_registration.h"
#include "api/text_argument.h"
#include "binding/host_value.h"
#include "binding/type_registry.h"
#include "formats/body.h"
#include "log/host_guard.h"
#include "text/message.h"
#include "text/string_utils.h"

namespace tav {
namespace {

using messages::kInvalidFunction;
using messages::kUnknownArgument;
// Index paths may create, over a whole request, as many elements as its path
// (query included) has characters, and at least this many.
constexpr std::size_t kIndexElementFloor = 4096;

std::string_view textOf(const char* text) {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

// 100-ns ticks since 1601, the system clock's own count on the target.
std::uint64_t systemTicks() {
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;
    constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
    const auto since1970 =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpochTicks + static_cast<std::uint64_t>(since1970.count());
}

using HeaderMap = std::unordered_map<std::string, std::string>;

HeaderMap readHeaders(const TavRequest& request) {
    HeaderMap headers;
    if (request.headers != nullptr) {
        for (std::uint32_t i = 0; i < request.headerCount; ++i) {
            headers.insert_or_assign(std::string(textOf(request.headers[i].name)),
                                     std::string(textOf(request.headers[i].value)));
        }
    }
    return headers;
}

// Pieces of the text after the first "?", split at "&", decoded; a later
// equal key overwrites.
ArgumentMap readQuery(std::string_view path) {
    ArgumentMap query;
    const std::size_t mark = path.find('?');
    if (mark == std::string_view::npos) {
        return query;
    }
    std::string_view rest = path.substr(mark + 1);
    while (true) {
        const std::size_t amp = rest.find('&');
        const std::string_view piece = rest.substr(0, amp);
        const std::size_t equals = piece.find('=');
        std::string value;
        if (equals != std::string_view::npos) {
            appendPercentDecoded(value, piece.substr(equals + 1));
        }
        query.insert_or_assign(percentDecode(piece.substr(0, equals)), std::move(value));
        if (amp == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(amp + 1);
    }
    return query;
}

// Runs release with the handler's state however the request ends.
struct HandlerState {
    EndpointHandler* handler = nullptr;
    std::uintptr_t state = 0;
    HandlerState() = default;
    HandlerState(const HandlerState&) = delete;
    HandlerState& operator=(const HandlerState&) = delete;
    ~HandlerState() {
        if (state != 0) {
            handler->release(state);
        }
    }
};

class RequestRoad {
public:
    RequestRoad(const TavRequest& request, const RouteRegistration& registration,
                const BindingFunctionDescriptor& function, MatchRecord& match)
        : request_(request),
          registration_(registration),
          function_(function),
          match_(match),
          parameters_(parameterStorage(function.arguments.size())),
          assigner_(function, registration.locations, parameters_,
                    std::max(match.path.size(), kIndexElementFloor)) {}

    void gather(CallResult& call, HeaderMap& headers) {
        // Bools that are not optional are false unless given.
        for (std::size_t i = 0; i < parameters_.size(); ++i) {
            if (function_.arguments[i].type.kind == BindingTypeKind::Bool &&
                !function_.arguments[i].optional) {
                parameters_[i].setBool(false);
            }
        }
        std::vector<std::pair<std::string_view, const std::string*>> headerArguments;
        if (!headers.empty()) {
            for (std::size_t i = 0; i < parameters_.size(); ++i) {
                const ArgumentLocation location = locationOf(i);
                if (location != ArgumentLocation::Any && location != ArgumentLocation::Header) {
                    continue;
                }
                const auto found = headers.find(toLowerCopy(function_.arguments[i].name));
                if (found != headers.end()) {
                    headerArguments.emplace_back(function_.arguments[i].name, &found->second);
                }
            }
        }
        const ArgumentMap query = readQuery(match_.path);

        for (const auto& [name, value] : headerArguments) {
            if (!assigner_.assign(call, name, *value, ArgumentLocation::Header)) {
                return;
            }
        }
        for (const auto& [name, text] : match_.arguments) {
            if (!assigner_.assign(call, name, text, ArgumentLocation::Path)) {
                return;
            }
        }
        for (const auto& [name, text] : query) {
            if (!assigner_.assign(call, name, text, ArgumentLocation::Query)) {
                return;
            }
        }
        if (!assignArgumentList(call)) {
            return;
        }
        assignBody(call);
    }

    std::span<BindingValue> parameters() { return parameters_; }

private:
    ArgumentLocation locationOf(std::size_t index) const {
        return index < registration_.locations.size() ? registration_.locations[index]
                                                      : ArgumentLocation::Any;
    }

    bool assignArgumentList(CallResult& call) {
        if (request_.arguments == nullptr) {
            return true;
        }
        for (std::uint32_t k = 0; k < request_.argumentCount; ++k) {
            const TavHostArgument& entry = request_.arguments[k];
            std::size_t index = 0;
            if (entry.name != nullptr) {
                index = assigner_.find(entry.name);
                if (index == parameters_.size()) {
                    respondError(call, makeMessage(kUnknownArgument, entry.name, function_.name));
                    return false;
                }
            } else {
                index = k + match_.arguments.size();
                if (index >= parameters_.size()) {
                    respondError(call, makeMessage(kUnknownArgument, index, function_.name));
                    return false;
                }
            }
            BindingValue& parameter = parameters_[index];
            parameter.reset();
            BindingErrorSink sink;
            const std::string_view name = entry.name != nullptr
                                              ? std::string_view(entry.name)
                                              : std::string_view(function_.arguments[index].name);
            if (!hostToValue(sink, parameter, entry.value, name)) {
                respondError(call, sink.message);
                return false;
            }
        }
        return true;
    }

    void assignBody(CallResult& call) {
        if (request_.body == nullptr || request_.bodyLength == 0) {
            return;
        }
        for (std::size_t i = 0; i < parameters_.size(); ++i) {
            if (locationOf(i) != ArgumentLocation::Body) {
                continue;
            }
            const std::string_view body(reinterpret_cast<const char*>(request_.body),
                                        request_.bodyLength);
            BindingResult read = readBody(textOf(request_.contentType), body);
            if (!read) {
                respondError(call, read.error());
            } else {
                parameters_[i] = std::move(read.value);
            }
            return;
        }
    }

    // Functions have a few parameters: those live here, more on the heap.
    std::span<BindingValue> parameterStorage(std::size_t count) {
        if (count <= inlineParameters_.size()) {
            return std::span(inlineParameters_.data(), count);
        }
        heapParameters_.resize(count);
        return heapParameters_;
    }

    const TavRequest& request_;
    const RouteRegistration& registration_;
    const BindingFunctionDescriptor& function_;
    MatchRecord& match_;
    std::array<BindingValue, 4> inlineParameters_;
    std::vector<BindingValue> heapParameters_;
    std::span<BindingValue> parameters_;
    TextArgumentAssigner assigner_;
};

}  // namespace

void dispatchRequest(TavResponse& response, const TavRequest& request) {
    resetResponse(response);
    const auto* binding = static_cast<const EndpointBinding*>(request.endpoint);
    const RouteRegistration* registration = binding != nullptr ? binding->registration : nullptr;
    // registerRoute compiles every registration's route.
    if (registration == nullptr || registration->function == nullptr ||
        registration->route == nullptr) {
        writeErrorResponse(response, kInvalidFunction, 404);
        return;
    }
    const BindingFunctionDescriptor& function = *registration->function;
    // Only a handler that reads the request information needs the clock.
    const bool withInfo =
        registration->handler != nullptr && wantsRequestInfo(*registration->handler);
    const std::uint64_t receivedAt = withInfo ? systemTicks() : 0;

    MatchRecord match;
    match.method = static_cast<std::uint32_t>(methodCodeOf(request.method));
    if (match.method == static_cast<std::uint32_t>(MethodCode::Custom)) {
        match.customMethod = textOf(request.customMethod);
    }
    match.path = textOf(request.url);
    if (!findRoute(match, std::span(registration->route.get(), 1), true)) {
        writeErrorResponse(response, kInvalidFunction, 404);
        return;
    }

    CallResult call;
    HeaderMap headers = readHeaders(request);
    RequestRoad road(request, *registration, function, match);
    road.gather(call, headers);

    HandlerState state;
    if (call.result.ok) {
        EndpointHandler* handler = registration->handler.get();
        if (handler == nullptr) {
            throw std::bad_function_call();
        }
        state.handler = handler;
        state.state = handler->prepare(call, road.parameters(), request.requestContext);
        if (call.result.ok) {
            if (withInfo) {
                EndpointRequestInfo info;
                info.requestContext = request.requestContext;
                info.receivedAt = receivedAt;
                info.registry = function.registry;
                info.path = match.path;
                info.method = match.method;
                info.customMethod = match.customMethod;
                info.headers = std::move(headers);
                handler->invoke(call, &info, state.state, request.requestContext);
            } else {
                handler->invoke(call, nullptr, state.state, request.requestContext);
            }
        }
    }
    writeResponse(response, call, function.registry);
}

void TAV_ABI endpointEntry(TavResponse* response, const TavRequest* request) {
    if (response == nullptr) {
        return;
    }
    guardHostCall(
        "endpoint entry",
        [&] {
            if (request == nullptr) {
                resetResponse(*response);
                writeErrorResponse(*response, kInvalidFunction, 404);
                return;
            }
            dispatchRequest(*response, *request);
        },
        [&] { writeFailureResponse(*response); });
}

}  // namespace tav

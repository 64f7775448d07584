// The handler object a request is dispatched to, the request information a
// handler may ask for, and TypedEndpointHandler, which turns a callable over
// native arguments into a handler: parameters are converted through the
// registry under their names, the answer (a native value, nothing, or an
// error with its status) back into the call result.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>

#include "api/call_result.h"
#include "binding/native_conversion.h"
#include "binding/static_type_info.h"
#include "binding/type_registry.h"

namespace tav {

// Given to handlers whose requestInfoType is the type of this record or of a
// pointer to it; valid during invoke only.
struct EndpointRequestInfo {
    void* requestContext = nullptr;
    std::uint64_t receivedAt = 0;  // 100-ns ticks of the system clock since 1601
    const BindingTypeRegistry* registry = nullptr;
    std::string_view path;
    std::uint32_t method = 0;
    std::string_view customMethod;                         // with method 8 only
    std::unordered_map<std::string, std::string> headers;  // as received
};

class EndpointHandler {
public:
    virtual ~EndpointHandler() = default;
    // Reads the parameter values (one per parameter of the function); errors
    // go to call. A non-zero state is handed to invoke and then to release.
    virtual std::uintptr_t prepare(CallResult& call, std::span<BindingValue> parameters,
                                   void* requestContext) = 0;
    // Called when prepare left no error; info is null unless requestInfoType
    // asks for it.
    virtual void invoke(CallResult& call, const EndpointRequestInfo* info, std::uintptr_t state,
                        void* requestContext) = 0;
    virtual void release(std::uintptr_t state) = 0;
    virtual const StaticTypeInfo* requestInfoType() const { return nullptr; }
};

// Whether the handler is given the request information.
bool wantsRequestInfo(const EndpointHandler& handler);

// A handler's failure: the status to answer with and the message.
struct HandlerError {
    std::uint32_t status = 0;
    std::string message;
};

// What a typed handler returns: its answer or an error. Handlers that answer
// nothing use HandlerAnswer<std::monostate>.
template <class T>
using HandlerAnswer = std::variant<T, HandlerError>;

template <class Fn, class... Args>
class TypedEndpointHandler final : public EndpointHandler {
    static constexpr bool kWithInfo =
        std::is_invocable_v<Fn&, const EndpointRequestInfo&, Args&...>;
    using Arguments = std::tuple<std::remove_cvref_t<Args>...>;

public:
    TypedEndpointHandler(const BindingFunctionDescriptor& function, Fn fn)
        : function_(function), fn_(std::move(fn)) {}
    ~TypedEndpointHandler() override { ::operator delete(spare_.load(std::memory_order_acquire)); }
    TypedEndpointHandler(const TypedEndpointHandler&) = delete;
    TypedEndpointHandler& operator=(const TypedEndpointHandler&) = delete;

    std::uintptr_t prepare(CallResult& call, std::span<BindingValue> parameters,
                           void* /*requestContext*/) override {
        void* const block = takeBlock();
        Arguments* arguments = nullptr;
        try {
            arguments = new (block) Arguments();
            convertAll(call, parameters, *arguments, std::index_sequence_for<Args...>{});
        } catch (...) {
            if (arguments != nullptr) {
                arguments->~Arguments();
            }
            giveBack(block);
            throw;
        }
        return reinterpret_cast<std::uintptr_t>(arguments);
    }

    void invoke(CallResult& call, const EndpointRequestInfo* info, std::uintptr_t state,
                void* /*requestContext*/) override {
        Arguments& arguments = *reinterpret_cast<Arguments*>(state);
        if constexpr (kWithInfo) {
            const EndpointRequestInfo empty;
            answer(call,
                   std::apply([&](auto&... values) { return fn_(info ? *info : empty, values...); },
                              arguments));
        } else {
            answer(call, std::apply(fn_, arguments));
        }
    }

    void release(std::uintptr_t state) override {
        auto* const arguments = reinterpret_cast<Arguments*>(state);
        arguments->~Arguments();
        giveBack(arguments);
    }

    const StaticTypeInfo* requestInfoType() const override {
        return kWithInfo ? &staticTypeInfo<EndpointRequestInfo>() : nullptr;
    }

private:
    static_assert(alignof(Arguments) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    // Requests mostly come one at a time: the block of the last one's
    // arguments is kept for the next, so that a call takes no heap block for
    // them. One that arrives while another holds it takes a block of its own.
    void* takeBlock() {
        void* const spare = spare_.exchange(nullptr, std::memory_order_acquire);
        return spare != nullptr ? spare : ::operator new(sizeof(Arguments));
    }
    void giveBack(void* block) noexcept {
        void* expected = nullptr;
        if (!spare_.compare_exchange_strong(expected, block, std::memory_order_release,
                                            std::memory_order_relaxed)) {
            ::operator delete(block);
        }
    }

    template <std::size_t... I>
    void convertAll([[maybe_unused]] CallResult& call,
                    [[maybe_unused]] std::span<BindingValue> parameters,
                    [[maybe_unused]] Arguments& arguments, std::index_sequence<I...> /*indices*/) {
        // Stops at the first parameter that does not convert.
        [[maybe_unused]] const bool converted =
            (convertOne<I>(call, parameters, std::get<I>(arguments)) && ...);
    }

    // An optional parameter that was not given keeps its native default.
    template <std::size_t I, class T>
    bool convertOne(CallResult& call, std::span<BindingValue> parameters, T& native) {
        const BindingFunctionArgument& argument = function_.arguments.at(I);
        const BindingValue& value =
            I < parameters.size() ? parameters[I] : BindingValue::emptyValue();
        if (argument.optional && value.kind() == BindingValueKind::Empty) {
            return true;
        }
        const BindingResult converted =
            fromValue(native, value, argument.name, *function_.registry);
        if (!converted) {
            respondError(call, converted.error());
        }
        return converted.ok;
    }

    template <class R>
    void answer(CallResult& call, HandlerAnswer<R>&& outcome) {
        if (auto* error = std::get_if<HandlerError>(&outcome)) {
            call.status = error->status;
            respondError(call, error->message);
            return;
        }
        if constexpr (!std::is_same_v<R, std::monostate>) {
            BindingResult converted = toValue(std::get<R>(outcome), *function_.registry);
            if (!converted) {
                // An answer the host cannot be given is the handler's fault.
                call.status = 400;
                respondError(call, converted.error());
                return;
            }
            call.result = std::move(converted);
        }
    }

    const BindingFunctionDescriptor& function_;
    Fn fn_;
    std::atomic<void*> spare_{nullptr};  // a block for one Arguments, unconstructed
};

// The handler of function for fn, a callable over the native types Args
// (optionally after a const EndpointRequestInfo&) returning a HandlerAnswer.
template <class... Args, class Fn>
std::shared_ptr<EndpointHandler> makeEndpointHandler(const BindingFunctionDescriptor& function,
                                                     Fn fn) {
    return std::make_shared<TypedEndpointHandler<Fn, Args...>>(function, std::move(fn));
}

}  // namespace tav

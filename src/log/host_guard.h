// The one guard around every function the host can call. Nothing may cross
// back into the host as an exception: the guard runs the body, and when it
// throws, writes one ERROR line naming the call and returns the failure value
// that call's contract gives (Init 0, a response in the error form, nothing
// for a void call).
#pragma once

#include <exception>
#include <type_traits>
#include <utility>

namespace tav {

// Names the call in the guard's line: "Init", or "HostEventCallback" with the
// event's name as its subject.
struct GuardedCall {
    GuardedCall(const char* callName, const char* callSubject = nullptr)  // NOLINT: implicit
        : name(callName), subject(callSubject) {}
    const char* name;
    const char* subject;
};

namespace detail {
// Writes the guard's ERROR line; never throws.
void logEscapedException(const GuardedCall& call, const char* what) noexcept;
}  // namespace detail

// Runs body(); on an exception logs it under `call` and returns failure().
// `failure` runs after the exception is handled and must not throw either.
template <class Body, class Failure>
auto guardHostCall(const GuardedCall& call, Body&& body, Failure&& failure) noexcept
    -> std::invoke_result_t<Body> {
    try {
        return std::forward<Body>(body)();
    } catch (const std::exception& error) {
        detail::logEscapedException(call, error.what());
    } catch (...) {
        detail::logEscapedException(call, "unknown exception");
    }
    return std::forward<Failure>(failure)();
}

// The form for void calls: nothing to return on failure.
template <class Body>
void guardHostCall(const GuardedCall& call, Body&& body) noexcept {
    guardHostCall(call, std::forward<Body>(body), [] {});
}

}  // namespace tav

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

namespace detail {
// Writes the guard's ERROR line; never throws (the logger does not allocate).
void logEscapedException(const char* call, const char* what) noexcept;
}  // namespace detail

// Runs body(); on an exception logs it under `call` and returns failure().
// `failure` runs inside the guard's own catch and must not throw either.
template <class Body, class Failure>
auto guardHostCall(const char* call, Body&& body, Failure&& failure) noexcept
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
void guardHostCall(const char* call, Body&& body) noexcept {
    guardHostCall(call, std::forward<Body>(body), [] {});
}

}  // namespace tav

// The outcome of a request to another plugin: a value of the result type, or
// a StructuredError carrying the status code and a fixed message.
#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

#include "formats/structured_error.h"

namespace tav {

template <class T>
class [[nodiscard]] RequestOutcome {
public:
    RequestOutcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    RequestOutcome(StructuredError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const StructuredError& error() const { return std::get<1>(state_); }

private:
    std::variant<T, StructuredError> state_;
};

// Success without a value, or the error.
template <>
class [[nodiscard]] RequestOutcome<void> {
public:
    RequestOutcome() = default;
    RequestOutcome(StructuredError error) : error_(std::move(error)) {}

    bool ok() const noexcept { return !error_.has_value(); }
    explicit operator bool() const noexcept { return ok(); }
    const StructuredError& error() const { return *error_; }

private:
    std::optional<StructuredError> error_;
};

}  // namespace tav

// The outcome of a conversion: a root value and an ok flag. On failure the
// value is a structure whose member "error" holds the message; every
// conversion step checks ok first, so the first failure is what callers see.
#pragma once

#include <string_view>

#include "binding/binding_value.h"

namespace tav {

struct [[nodiscard]] BindingResult {
    BindingValue value;
    bool ok = true;

    explicit operator bool() const noexcept { return ok; }

    // Resets the value, clears ok and stores the message as member "error";
    // a later failure replaces an earlier one.
    void fail(std::string_view message);

    // The message of a failed result; empty when ok.
    std::string_view error() const noexcept;
};

}  // namespace tav

#include "binding/binding_result.h"

namespace tav {

void BindingResult::fail(std::string_view message) {
    value.reset();
    ok = false;
    value.member("error").setString(message);
}

std::string_view BindingResult::error() const noexcept {
    return ok ? std::string_view() : value.find("error").asString();
}

}  // namespace tav

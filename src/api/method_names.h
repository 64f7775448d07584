// Method codes as the host passes them, and the rule that names an API
// function after its method and path ("GetTavChampSelectV1SessionTradesById").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tav {

enum class MethodCode : std::uint32_t {
    None = 0,
    Delete = 1,
    Get = 2,
    Head = 3,
    Options = 4,
    Patch = 5,
    Post = 6,
    Put = 7,
    Custom = 8,  // named by the request's custom method text
};

// "DELETE" ... "PUT"; the empty text for every other code.
const char* methodName(std::uint32_t code);
inline const char* methodName(MethodCode code) {
    return methodName(static_cast<std::uint32_t>(code));
}

// A code outside 1 to 8 is carried as 0.
MethodCode methodCodeOf(std::uint32_t code);

// The code of "DELETE" ... "PUT"; Custom for every other text.
MethodCode methodCodeNamed(std::string_view name);

// The method text's first character, the rest in lower case and "/" (when
// the method is not empty), then the path, with "!+-./_" dropped and
// capitalising what follows, "{" read as "By" and "}" dropped.
std::string functionName(std::string_view method, std::string_view path);

}  // namespace tav

#include "api/method_names.h"

#include <cctype>

namespace tav {

namespace {

constexpr const char* kNames[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};

}  // namespace

const char* methodName(std::uint32_t code) {
    return code < std::size(kNames) ? kNames[code] : "";
}

MethodCode methodCodeNamed(std::string_view name) {
    for (std::uint32_t code = 1; code < std::size(kNames); ++code) {
        if (name == kNames[code]) {
            return static_cast<MethodCode>(code);
        }
    }
    return MethodCode::Custom;
}

MethodCode methodCodeOf(std::uint32_t code) {
    return code <= static_cast<std::uint32_t>(MethodCode::Custom) ? static_cast<MethodCode>(code)
                                                                  : MethodCode::None;
}

std::string functionName(std::string_view method, std::string_view path) {
    std::string text;
    if (!method.empty()) {
        text += method.front();
        for (const char c : method.substr(1)) {
            text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        text += '/';
    }
    text += path;

    std::string name;
    name.reserve(text.size() + 8);
    bool capitalise = true;
    for (const char c : text) {
        switch (c) {
            case '!':
            case '+':
            case '-':
            case '.':
            case '/':
            case '_':
                capitalise = true;
                break;
            case '{':
                name += "By";
                capitalise = true;
                break;
            case '}':
                break;
            default:
                name +=
                    capitalise ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
                capitalise = false;
        }
    }
    return name;
}

}  // namespace tav

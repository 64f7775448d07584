// Message builders: format typed arguments through formatMessage into a
// 4096-byte stack buffer and return the text as an owned string (at most
// 4095 characters), or format them into a caller's buffer.
#pragma once

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>

#include "text/format_arg.h"
#include "text/format_message.h"

namespace tav {

inline constexpr std::size_t kMessageBufferSize = 4096;

namespace detail {

template <class T>
using FormatArgTraitsOf = FormatArgTraits<std::remove_cv_t<std::decay_t<T>>>;

// Calls f(args, count) with the arguments converted to FormatArg records;
// the converted values live until f returns.
template <class F, class... Args>
decltype(auto) withFormatArgs(F&& f, const Args&... args) {
    if constexpr (sizeof...(Args) == 0) {
        return f(static_cast<const FormatArg*>(nullptr), std::size_t{0});
    } else {
        const std::tuple<typename FormatArgTraitsOf<Args>::Stored...> stored{
            FormatArgTraitsOf<Args>::store(args)...};
        return std::apply(
            [&f](const auto&... values) {
                const FormatArg list[] = {FormatArgTraitsOf<Args>::arg(values)...};
                return f(static_cast<const FormatArg*>(list), sizeof...(Args));
            },
            stored);
    }
}

std::string formatToString(const char* format, const FormatArg* args, std::size_t count);

}  // namespace detail

// makeMessage("Index %1 is out of range", name) and the like; each argument
// type needs a FormatArgTraits specialisation.
template <class... Args>
std::string makeMessage(const char* format, const Args&... args) {
    return detail::withFormatArgs(
        [format](const FormatArg* list, std::size_t count) {
            return detail::formatToString(format, list, count);
        },
        args...);
}

// The same into a caller's buffer, without allocating; returns the number of
// characters written, as formatMessage does.
template <class... Args>
std::size_t formatMessageInto(char* buffer, std::size_t size, const char* format,
                              const Args&... args) {
    return detail::withFormatArgs(
        [&](const FormatArg* list, std::size_t count) {
            return formatMessage(buffer, size, format, list, count);
        },
        args...);
}

}  // namespace tav

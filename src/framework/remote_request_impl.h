// Template definitions of remote_request.h: the typed layer over sendRaw and
// readAnswer. Everything that does not depend on the result or parameter
// type lives in remote_request.cpp.
#pragma once

#include <string_view>
#include <utility>

namespace tav {

class BindingTypeRegistry;

namespace detail {

// The registry of a plugin, without making every includer of this header
// see the whole PluginBase.
const BindingTypeRegistry& pluginRegistry(const PluginBase& plugin);

// Sends method url with converted parameters as the request's one argument,
// or, when the conversion failed, builds the "Request not sent" error from
// its message. The answer is released before returning.
RequestOutcome<void> sendConvertedParameters(PluginBase& plugin, MethodCode method,
                                             std::string_view url, const BindingResult& converted);

}  // namespace detail

template <class T>
RequestOutcome<T> request(PluginBase& plugin, MethodCode method, std::string_view url,
                          NoValueRule noValue) {
    // Declared first so that the host's release runs on every return below.
    ResponseRecord response;
    if (RequestOutcome<void> sent = sendRaw(plugin, method, url, nullptr, response); !sent) {
        return sent.error();
    }
    RequestOutcome<BindingValue> answer = readAnswer(plugin, method, url, response);
    if (!answer) {
        return answer.error();
    }
    T native{};
    const BindingTypeRegistry& registry = detail::pluginRegistry(plugin);
    const BindingResult converted =
        noValue == NoValueRule::OwnRule
            ? fromValueByOwnRule(native, answer.value(), "<result>", registry)
            : fromValue(native, answer.value(), "<result>", registry);
    if (!converted) {
        return conversionError(method, url, converted.error());
    }
    return RequestOutcome<T>(std::move(native));
}

template <BindingRecordType P>
RequestOutcome<void> requestWithParameters(PluginBase& plugin, MethodCode method,
                                           std::string_view url, const P& parameters) {
    const BindingResult converted = toValue(parameters, detail::pluginRegistry(plugin));
    return detail::sendConvertedParameters(plugin, method, url, converted);
}

}  // namespace tav

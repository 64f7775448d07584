// Requests to other plugins through the host: typed native arguments become
// the request record, the answer (a value, or a stream of JSON text) becomes
// the native result type, and every failure becomes a StructuredError with a
// status code and a fixed message. Also the typed publishing of resource
// events.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <tav/plugin_abi.h>

#include "api/method_names.h"
#include "binding/binding_value.h"
#include "binding/native_conversion.h"
#include "framework/framework_types.h"
#include "framework/request_outcome.h"

namespace tav {

class PluginBase;

// A named parameter of a request.
struct NamedValue {
    std::string name;
    BindingValue value;
};

// The host's response record, released (once) when this goes away.
class ResponseRecord {
public:
    ResponseRecord() = default;
    ResponseRecord(const ResponseRecord&) = delete;
    ResponseRecord& operator=(const ResponseRecord&) = delete;
    ~ResponseRecord() { release(); }

    TavResponse* get() { return &record_; }
    const TavResponse& operator*() const { return record_; }
    const TavResponse* operator->() const { return &record_; }
    // Closes the answer's stream, if it has one, exactly once: after reading
    // it, or unread when the answer goes without its stream being wanted.
    void closeStream();
    // Closes a stream still open, then calls the record's release function,
    // if it has one, exactly once: the release function frees the record's
    // own parts, never its stream.
    void release();
    // Releases the record and zeroes it for the next request.
    void reset();

private:
    TavResponse record_{};
    bool streamClosed_ = false;
};

// Sends method url with parameters (a structure whose members become the
// request's one argument; null sends none) and keeps the response for
// reading. Success unless the response carries an error text.
RequestOutcome<void> sendRaw(PluginBase& plugin, MethodCode method, std::string_view url,
                             const BindingValue* parameters, ResponseRecord& response);

// Reads the answer of a successful raw send (stream or value) as a value.
RequestOutcome<BindingValue> readAnswer(PluginBase& plugin, MethodCode method, std::string_view url,
                                        ResponseRecord& response);

// The error of a failed conversion of the answer into the result type.
StructuredError conversionError(MethodCode method, std::string_view url, std::string_view error);

// How an answer without a value converts: as missing ("A value for
// '<result>' is required."), or by the result type's own rule.
enum class NoValueRule { Missing, OwnRule };

// method url without parameters; the answer converted into T.
template <class T>
RequestOutcome<T> request(PluginBase& plugin, MethodCode method, std::string_view url,
                          NoValueRule noValue = NoValueRule::Missing);

// method url with parameters (one member per name, in order); no result.
RequestOutcome<void> requestWithParameters(PluginBase& plugin, MethodCode method,
                                           std::string_view url,
                                           std::span<const NamedValue> parameters);

// method url with a described native record as parameters; no result.
template <BindingRecordType P>
RequestOutcome<void> requestWithParameters(PluginBase& plugin, MethodCode method,
                                           std::string_view url, const P& parameters);

// Publishes a resource event under the name derived from its URI, then again
// under eventName when that differs.
RequestOutcome<void> SendEvent(PluginBase& plugin, std::string_view eventName,
                               const PluginResourceEvent& payload, std::uint32_t word);

// The same for an event already converted to a value (resourceEventValue).
RequestOutcome<void> SendEvent(PluginBase& plugin, std::string_view eventName, std::string_view uri,
                               const BindingValue& event, std::uint32_t word);

// A resource event's value with data converted from a native record, built
// as one tree: the data is not converted first and copied in after.
template <class T>
BindingResult resourceEventValue(PluginResourceEventType eventType, std::string_view uri,
                                 const T& data, const BindingTypeRegistry& registry) {
    PluginResourceEvent shell;
    shell.uri = std::string(uri);
    shell.eventType = eventType;
    BindingResult result = toValue(shell, registry);
    if (result) {
        const BindingResult converted = toValueIn(result.value.member("data"), data, registry);
        if (!converted) {
            result.fail(converted.error());
        }
    }
    return result;
}

}  // namespace tav

#include "framework/remote_request_impl.h"

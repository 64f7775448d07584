// What an endpoint handler answers: a value or an error, a status, a content
// type, headers and an optional stream, which the dispatcher copies into the
// host's response record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "binding/binding_result.h"

namespace tav {

// A streamed answer. The host owns it once the response is written: it reads
// through read and destroys it through the record's close function.
class ResponseStream {
public:
    virtual ~ResponseStream() = default;
    // Fills up to count bytes of buffer, sets count to what it wrote and more
    // to whether more follows; false on failure.
    virtual bool read(std::uint8_t* buffer, std::uint32_t& count, bool& more) = 0;
    // The length the host may expect, a hint only.
    virtual std::uint32_t expectedLength() const = 0;
};

struct CallResult {
    BindingResult result;      // ok and empty until the handler answers
    std::uint8_t flag = 0;     // copied as is
    std::uint32_t mode = 0;    // 0 to 3, copied as is
    std::uint32_t status = 0;  // 0: the handler set none
    std::string contentType;
    std::unordered_map<std::string, std::string> headers;
    std::unique_ptr<ResponseStream> stream;
};

// Makes the call result an error with text and drops any stream it holds.
void respondError(CallResult& call, std::string_view text);

}  // namespace tav

// Filling the host's response record from a call result, and the record's
// release function. Everything the record points at is copied into blocks
// of the framework's allocation functions that only the release function
// frees; a stream object passes to the host with its read and close
// functions.
#pragma once

#include <cstdint>
#include <string_view>

#include <tav/plugin_abi.h>

#include "api/call_result.h"

namespace tav {

class BindingTypeRegistry;

// The content type of a record that has none: shared, never freed.
extern const char kSharedEmptyText[];

// Zeroes the record and stores its release function.
void resetResponse(TavResponse& response) noexcept;

// Frees what the record owns and zeroes it; a second call, or a call on a
// zeroed record, does nothing.
void TAV_ABI releaseResponse(TavResponse* response);

// Writes the call result: the error form, or the value converted for the host
// (status 400 when it cannot be), then flag, mode, status, content type,
// headers and the stream, which the host owns from now on.
void writeResponse(TavResponse& response, CallResult& call, const BindingTypeRegistry* registry);

// The error form with text and status, on a record reset first.
void writeErrorResponse(TavResponse& response, std::string_view text, std::uint32_t status);

// What the boundary guard answers when a request escaped with an exception:
// whatever was written is released, then "Internal error" with status 500.
// Its text is shared, so that it is there even when memory is exhausted.
void writeFailureResponse(TavResponse& response) noexcept;

}  // namespace tav

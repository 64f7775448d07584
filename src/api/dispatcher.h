// The one endpoint entry of every registered function: the host calls it with
// a response record to fill and the request, whose word 16 carries the
// {API object, registration} pair of the function called. The request is
// matched against the function's route, its arguments gathered from path,
// query, headers, argument list and body, the handler called and its answer
// written into the response.
#pragma once

#include <tav/plugin_abi.h>

namespace tav {

// C calling convention, guarded: an exception becomes a response in the
// error form and a log line.
void TAV_ABI endpointEntry(TavResponse* response, const TavRequest* request);

// The road of one request, unguarded (endpointEntry guards it).
void dispatchRequest(TavResponse& response, const TavRequest& request);

}  // namespace tav

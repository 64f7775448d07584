#include "api/call_result.h"

namespace tav {

void respondError(CallResult& call, std::string_view text) {
    call.result.fail(text);
    call.stream.reset();
}

}  // namespace tav

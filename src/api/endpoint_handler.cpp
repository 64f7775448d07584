#include "api/endpoint_handler.h"

namespace tav {

bool wantsRequestInfo(const EndpointHandler& handler) {
    const StaticTypeInfo* type = handler.requestInfoType();
    return type != nullptr && (type == &staticTypeInfo<EndpointRequestInfo>() ||
                               type == &staticTypeInfo<const EndpointRequestInfo*>());
}

}  // namespace tav

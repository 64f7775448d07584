#include "openapi/openapi_document.h"

namespace tav::devhost {

std::string openApiDocument(const TavEndpointTable& /*table*/, const OpenApiInfo& /*info*/) {
    return R"({"openapi":"3.1.0","info":{"title":"","version":""},"paths":{}})";
}

}  // namespace tav::devhost

// Writes the OpenAPI and AsyncAPI documents of the real module, loaded as
// the host loads it, to files for the validators (node) to read: the
// generators run on the target architecture, the validators on the build
// machine.
//
//   tav-devhost-openapi-dump OPENAPI_OUTPUT ASYNCAPI_OUTPUT
#include <cstdio>
#include <fstream>
#include <iostream>

#include "openapi/asyncapi_document.h"
#include "openapi/openapi_document.h"
#include "support/module_host.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: tav-devhost-openapi-dump OPENAPI_OUTPUT ASYNCAPI_OUTPUT\n";
        return 2;
    }
    tav::testing::ModuleHost module(TAV_PLUGIN_MODULE_PATH);
    if (!module.loaded()) {
        std::cerr << "cannot load the module: " << module.loadError() << "\n";
        return 1;
    }
    const auto* table = static_cast<const TavEndpointTable*>(module.load().endpointTable);
    if (table == nullptr) {
        std::cerr << "the module wrote no endpoint table\n";
        return 1;
    }
    std::ofstream openApi(argv[1], std::ios::binary);
    openApi << tav::devhost::openApiDocument(
        *table, {"tav-champ-select", "18.0.0", "http://127.0.0.1:8080"});
    std::ofstream asyncApi(argv[2], std::ios::binary);
    asyncApi << tav::devhost::asyncApiDocument(*table,
                                               {"tav-champ-select", "18.0.0", "127.0.0.1:8080"});
    return openApi.good() && asyncApi.good() ? 0 : 1;
}

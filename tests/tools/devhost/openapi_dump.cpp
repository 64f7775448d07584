// Writes the OpenAPI document of the real module, loaded as the host loads
// it, to a file for the validator (node) to read: the generator runs on the
// target architecture, the validator on the build machine.
//
//   tav-devhost-openapi-dump OUTPUT
#include <cstdio>
#include <fstream>
#include <iostream>

#include "openapi/openapi_document.h"
#include "support/module_host.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tav-devhost-openapi-dump OUTPUT\n";
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
    const std::string document = tav::devhost::openApiDocument(
        *table, {"tav-champ-select", "18.0.0", "http://127.0.0.1:8080"});
    std::ofstream out(argv[1], std::ios::binary);
    out << document;
    return out.good() ? 0 : 1;
}

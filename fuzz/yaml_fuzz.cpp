// YAML: any text reads or fails with a message (aliases expanded within their
// bound); a tree that reads prints as JSON, which reads again.
#include <cstddef>
#include <cstdint>

#include "formats/json.h"
#include "formats/yaml.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tav::BindingResult read = tav::readYaml(reinterpret_cast<const char*>(data), size);
    if (!read.ok) {
        tav::fuzz::check(!read.error().empty(), "a failure carries a message");
        return 0;
    }
    tav::fuzz::check(tav::readJson(tav::writeJson(read.value)).ok, "the tree prints as JSON");
    return 0;
}

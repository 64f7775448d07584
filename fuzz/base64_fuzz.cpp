// base64: the input's bytes encode to the announced length and decode back to
// themselves; the input read as text decodes (leniently) to bytes whose
// encoding decodes to the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "text/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string encoded = tav::base64Encode(data, size);
    tav::fuzz::check(encoded.size() == 4 * ((size + 2) / 3), "encoded length");
    const std::vector<std::uint8_t> decoded = tav::base64Decode(encoded);
    tav::fuzz::check(decoded == std::vector<std::uint8_t>(data, data + size), "round trip");

    const std::vector<std::uint8_t> lenient =
        tav::base64Decode(std::string_view(reinterpret_cast<const char*>(data), size));
    tav::fuzz::check(lenient.size() <= size * 3 / 4, "decoded length");
    tav::fuzz::check(tav::base64Decode(tav::base64Encode(lenient)) == lenient,
                     "lenient decoding round trip");
    return 0;
}

// MessagePack: any bytes decode or fail with a message, never consuming more
// than they hold; a decoded tree prints as JSON, which reads again.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "formats/json.h"
#include "formats/message_pack.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        return 0;
    }
    std::uint32_t position = 0;
    const tav::BindingResult read =
        tav::readMessagePack(data, static_cast<std::uint32_t>(size), position);
    tav::fuzz::check(position <= size, "the position stays inside the input");
    if (!read.ok) {
        tav::fuzz::check(!read.error().empty(), "a failure carries a message");
        return 0;
    }
    tav::fuzz::check(tav::readJson(tav::writeJson(read.value)).ok, "the tree prints as JSON");
    return 0;
}

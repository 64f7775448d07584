// JSON: what reads is written compactly and indented, and both texts must
// read back to the same tree. A float may come back a few steps away in its
// last bits: the reader's fast number mode does not always round the writer's
// shortest form to the nearest double. Integers may change between signed
// and unsigned, never in value.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "formats/json.h"
#include "fuzz_check.h"

namespace {

using tav::BindingValue;
using tav::BindingValueKind;

// The writer prints the shortest form (at most 17 digits) and the fast mode
// reads such a form with two or three roundings, so it lands a few steps off
// at most; only the first reading of a long digit string can be further off,
// and that one is not compared.
constexpr std::uint64_t kFastNumberSteps = 4;

bool sameFloat(double a, double b) {
    if (a == b) {
        return true;
    }
    if (std::signbit(a) != std::signbit(b) || std::isnan(a) || std::isnan(b)) {
        return false;
    }
    // Finite doubles of one sign are ordered as their bit patterns.
    const auto bitsA = std::bit_cast<std::uint64_t>(a);
    const auto bitsB = std::bit_cast<std::uint64_t>(b);
    return (bitsA > bitsB ? bitsA - bitsB : bitsB - bitsA) <= kFastNumberSteps;
}

bool isInteger(const BindingValue& v) {
    return v.kind() == BindingValueKind::Signed || v.kind() == BindingValueKind::Unsigned;
}

// Integers compare by value: "-0" reads as a signed zero and is written "0",
// which reads as an unsigned one.
bool sameInteger(const BindingValue& a, const BindingValue& b) {
    const auto negative = [](const BindingValue& v) {
        return v.kind() == BindingValueKind::Signed && v.asInt64() < 0;
    };
    if (negative(a) || negative(b)) {
        return a == b;
    }
    const auto magnitude = [](const BindingValue& v) {
        return v.kind() == BindingValueKind::Signed ? static_cast<std::uint64_t>(v.asInt64())
                                                    : v.asUInt64();
    };
    return magnitude(a) == magnitude(b);
}

bool same(const BindingValue& a, const BindingValue& b) {
    if (isInteger(a) && isInteger(b)) {
        return sameInteger(a, b);
    }
    if (a.kind() != b.kind()) {
        return false;
    }
    switch (a.kind()) {
        case BindingValueKind::Float:
            return sameFloat(a.asDouble(), b.asDouble());
        case BindingValueKind::Collection: {
            if (a.size() != b.size()) {
                return false;
            }
            for (std::size_t i = 0; i < a.size(); ++i) {
                if (!same(a.elementAt(i), b.elementAt(i))) {
                    return false;
                }
            }
            return true;
        }
        case BindingValueKind::Structure: {
            if (a.size() != b.size()) {
                return false;
            }
            for (const auto& member : a.members()) {
                const BindingValue* other = b.tryFind(member.key());
                if (other == nullptr || !same(member.value(), *other)) {
                    return false;
                }
            }
            return true;
        }
        default:
            return a == b;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tav::BindingResult read = tav::readJson(text);
    if (!read.ok) {
        tav::fuzz::check(!read.error().empty(), "a failure carries a message");
        return 0;
    }
    for (const char* newline : {static_cast<const char*>(nullptr), "\n"}) {
        const std::string written = tav::writeJson(read.value, nullptr, newline);
        const tav::BindingResult again = tav::readJson(written);
        tav::fuzz::check(again.ok, "written JSON reads");
        tav::fuzz::check(same(read.value, again.value), "written JSON reads as the same tree");
    }
    return 0;
}

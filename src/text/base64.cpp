#include "text/base64.h"

#include <array>
#include <limits>
#include <stdexcept>

namespace tav {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kNotInAlphabet);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
    }
    return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = makeDecodeTable();

std::uint8_t sextet(char c) {
    return kDecodeTable[static_cast<unsigned char>(c)];
}

}  // namespace

std::string base64Encode(const std::uint8_t* bytes, std::size_t count) {
    // 4 * ceil(count / 3), checked: on 32 bits a large count would wrap.
    const std::size_t groups = count / 3 + (count % 3 != 0 ? 1 : 0);
    if (groups > std::numeric_limits<std::size_t>::max() / 4) {
        throw std::length_error("base64Encode: input too long");
    }
    std::string out;
    out.reserve(groups * 4);
    std::size_t i = 0;
    for (; count - i >= 3; i += 3) {
        const std::uint32_t triple =
            (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        out += kAlphabet[(triple >> 18) & 0x3F];
        out += kAlphabet[(triple >> 12) & 0x3F];
        out += kAlphabet[(triple >> 6) & 0x3F];
        out += kAlphabet[triple & 0x3F];
    }
    const std::size_t rest = count - i;
    if (rest > 0) {
        std::uint32_t triple = std::uint32_t{bytes[i]} << 16;
        if (rest == 2) {
            triple |= std::uint32_t{bytes[i + 1]} << 8;
        }
        out += kAlphabet[(triple >> 18) & 0x3F];
        out += kAlphabet[(triple >> 12) & 0x3F];
        out += rest == 2 ? kAlphabet[(triple >> 6) & 0x3F] : '=';
        out += '=';
    }
    return out;
}

std::string base64Encode(std::span<const std::uint8_t> bytes) {
    return base64Encode(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> base64Decode(std::string_view text) {
    std::size_t length = 0;
    while (length < text.size() && sextet(text[length]) != kNotInAlphabet) {
        ++length;
    }
    const std::size_t rest = length % 4;
    std::vector<std::uint8_t> out;
    out.reserve(length / 4 * 3 + (rest > 1 ? rest - 1 : 0));
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < length; ++i) {
        bits = (bits << 6) | sextet(text[i]);
        if (i % 4 == 3) {
            out.push_back(static_cast<std::uint8_t>(bits >> 16));
            out.push_back(static_cast<std::uint8_t>(bits >> 8));
            out.push_back(static_cast<std::uint8_t>(bits));
            bits = 0;
        }
    }
    // A final group of 2 or 3 characters carries 1 or 2 whole bytes; a single
    // character carries none.
    if (rest == 2) {
        out.push_back(static_cast<std::uint8_t>(bits >> 4));
    } else if (rest == 3) {
        out.push_back(static_cast<std::uint8_t>(bits >> 10));
        out.push_back(static_cast<std::uint8_t>(bits >> 2));
    }
    return out;
}

}  // namespace tav

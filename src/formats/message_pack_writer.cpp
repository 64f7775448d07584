#include <bit>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "binding/binding_value.h"
#include "formats/message_pack.h"

namespace tav {
namespace {

void bigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void lead(std::string& out, std::uint8_t byte) {
    out.push_back(static_cast<char>(byte));
}

void unsignedNumber(std::string& out, std::uint64_t n) {
    if (n < 0x80) {
        lead(out, static_cast<std::uint8_t>(n));
    } else if (n <= 0xFF) {
        lead(out, 0xCC);
        bigEndian(out, n, 1);
    } else if (n <= 0xFFFF) {
        lead(out, 0xCD);
        bigEndian(out, n, 2);
    } else if (n <= 0xFFFFFFFF) {
        lead(out, 0xCE);
        bigEndian(out, n, 4);
    } else {
        lead(out, 0xCF);
        bigEndian(out, n, 8);
    }
}

void signedNumber(std::string& out, std::int64_t n) {
    if (n >= 0) {
        unsignedNumber(out, static_cast<std::uint64_t>(n));
    } else if (n >= -32) {
        lead(out, static_cast<std::uint8_t>(n));
    } else if (n >= INT8_MIN) {
        lead(out, 0xD0);
        bigEndian(out, static_cast<std::uint64_t>(n), 1);
    } else if (n >= INT16_MIN) {
        lead(out, 0xD1);
        bigEndian(out, static_cast<std::uint64_t>(n), 2);
    } else if (n >= INT32_MIN) {
        lead(out, 0xD2);
        bigEndian(out, static_cast<std::uint64_t>(n), 4);
    } else {
        lead(out, 0xD3);
        bigEndian(out, static_cast<std::uint64_t>(n), 8);
    }
}

// fixCode: the fix form's lead byte for sizes below fixLimit, else the 8-, 16-
// and 32-bit forms' lead bytes (0 when there is no 8-bit form).
void header(std::string& out, std::size_t size, std::uint8_t fixCode, std::size_t fixLimit,
            std::uint8_t code8, std::uint8_t code16, std::uint8_t code32) {
    if (size > 0xFFFFFFFF) {
        // Only reachable on 64-bit builds; a shorter header would misframe the rest.
        throw std::length_error("MessagePack string, blob, array or map over 4294967295 long");
    }
    if (size < fixLimit) {
        lead(out, static_cast<std::uint8_t>(fixCode | size));
    } else if (code8 != 0 && size <= 0xFF) {
        lead(out, code8);
        bigEndian(out, size, 1);
    } else if (size <= 0xFFFF) {
        lead(out, code16);
        bigEndian(out, size, 2);
    } else {
        lead(out, code32);
        bigEndian(out, size, 4);
    }
}

void text(std::string& out, std::string_view s) {
    header(out, s.size(), 0xA0, 32, 0xD9, 0xDA, 0xDB);
    out.append(s);
}

void write(std::string& out, const BindingValue& value) {
    switch (value.kind()) {
        case BindingValueKind::Empty:
            lead(out, 0xC0);
            break;
        case BindingValueKind::Bool:
            lead(out, value.asBool() ? 0xC3 : 0xC2);
            break;
        case BindingValueKind::Signed:
            signedNumber(out, value.asInt64());
            break;
        case BindingValueKind::Unsigned:
            unsignedNumber(out, value.asUInt64());
            break;
        case BindingValueKind::Float:
            lead(out, 0xCB);
            bigEndian(out, std::bit_cast<std::uint64_t>(value.asDouble()), 8);
            break;
        case BindingValueKind::String:
            text(out, value.asString());
            break;
        case BindingValueKind::Blob: {
            const auto bytes = value.asBlob();
            header(out, bytes.size(), 0, 0, 0xC4, 0xC5, 0xC6);
            out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            break;
        }
        case BindingValueKind::Enum:
            signedNumber(out, value.asEnum().number);
            break;
        case BindingValueKind::Collection:
            header(out, value.size(), 0x90, 16, 0, 0xDC, 0xDD);
            for (const BindingValue& element : value.elements()) {
                write(out, element);
            }
            break;
        case BindingValueKind::Structure:
            header(out, value.size(), 0x80, 16, 0, 0xDE, 0xDF);
            for (const BindingMember& member : value.members()) {
                text(out, member.key());
                write(out, member.value());
            }
            break;
    }
}

}  // namespace

std::string writeMessagePack(const BindingValue& value) {
    std::string out;
    write(out, value);
    return out;
}

}  // namespace tav

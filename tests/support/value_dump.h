// A compact one-line dump of a value tree with its kinds, the golden form
// through which the binding, format and API tests compare trees:
// empty, true, signed -1, unsigned 7, float 1.5, string "a", blob 0102,
// enum 3, [..., ...], {key: ..., key: ...}. Control bytes in strings print
// as \xNN; other bytes as they are.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "binding/binding_value.h"

namespace tav::testing {

inline std::string dump(const BindingValue& v) {
    char buffer[64];
    switch (v.kind()) {
        case BindingValueKind::Empty:
            return "empty";
        case BindingValueKind::Bool:
            return v.asBool() ? "true" : "false";
        case BindingValueKind::Signed:
            return "signed " + std::to_string(v.asInt64());
        case BindingValueKind::Unsigned:
            return "unsigned " + std::to_string(v.asUInt64());
        case BindingValueKind::Float:
            std::snprintf(buffer, sizeof buffer, "float %.17g", v.asDouble());
            return buffer;
        case BindingValueKind::String: {
            std::string out = "string \"";
            for (const char c : v.asString()) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned char>(c));
                    out += buffer;
                } else {
                    out += c;
                }
            }
            return out + "\"";
        }
        case BindingValueKind::Blob: {
            std::string out = v.size() != 0 ? "blob " : "blob";
            for (const std::uint8_t byte : v.asBlob()) {
                std::snprintf(buffer, sizeof buffer, "%02x", byte);
                out += buffer;
            }
            return out;
        }
        case BindingValueKind::Enum:
            return "enum " + std::to_string(v.asEnum().number);
        case BindingValueKind::Collection: {
            std::string out = "[";
            for (const BindingValue& e : v.elements()) {
                out += (out.size() > 1 ? ", " : "") + dump(e);
            }
            return out + "]";
        }
        case BindingValueKind::Structure: {
            std::string out = "{";
            for (const BindingMember& m : v.members()) {
                out += (out.size() > 1 ? ", " : "") + std::string(m.key()) + ": " + dump(m.value());
            }
            return out + "}";
        }
    }
    return "?";
}

}  // namespace tav::testing

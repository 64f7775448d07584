// The kinds of native field, element and argument types the binding layer
// knows, with the names that help and conversion messages print.
#pragma once

#include <cstdint>

namespace tav {

enum class BindingTypeKind : std::uint32_t {
    None = 0,
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Float = 10,
    Double = 11,
    String = 12,
    Object = 13,
    Blob = 14,
    Vector = 15,
    Enum = 16,
    Struct = 17,
    Callback = 18,
    Map = 19,
};

// "bool" ... "map"; the empty text for None and numbers above 19.
const char* typeKindName(BindingTypeKind kind);

}  // namespace tav

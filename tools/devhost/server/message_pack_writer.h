// MessagePack encoding of a value, for clients that ask for it in Accept.
#pragma once

#include <string>

#include "binding/binding_value.h"

namespace tav::devhost {

// Structures become maps (members in key order), collections arrays, blobs
// bin, enums their number, an empty value nil; numbers take their smallest
// encoding, doubles stay 64-bit.
std::string writeMessagePack(const BindingValue& value);

}  // namespace tav::devhost

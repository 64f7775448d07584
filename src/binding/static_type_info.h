// Identity of a native type as the binding layer refers to it. Only the name
// is declared here so that values can carry a reference to an enum's type; the
// type registry gives the record its content.
#pragma once

namespace tav {

struct StaticTypeInfo;

}  // namespace tav

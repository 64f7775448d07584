// The JSON writer the documents are written with, private to the generators:
// the project's RapidJSON instantiation (formats/rapidjson_config.h), so that
// they stream in the order the documents read in, not the key order a
// BindingValue tree would impose.
#pragma once

#include <string_view>

#include "formats/rapidjson_config.h"

namespace tav::devhost {

using OpenApiBuffer = JsonStringBuffer;
using OpenApiWriter = JsonPrettyWriter<OpenApiBuffer>;

inline void writeText(OpenApiWriter& writer, std::string_view text) {
    writer.String(text.data(), static_cast<RAPIDJSON_NAMESPACE::SizeType>(text.size()));
}

inline void writeKey(OpenApiWriter& writer, std::string_view key) {
    writer.Key(key.data(), static_cast<RAPIDJSON_NAMESPACE::SizeType>(key.size()));
}

// The "type" member of a schema.
inline void writeSchemaType(OpenApiWriter& writer, const char* type) {
    writer.Key("type");
    writer.String(type);
}

}  // namespace tav::devhost

// The JSON writer the document is written with; private to the generator.
#pragma once

#include <string_view>

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

namespace tav::devhost {

using OpenApiWriter = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

inline void writeText(OpenApiWriter& writer, std::string_view text) {
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

inline void writeKey(OpenApiWriter& writer, std::string_view key) {
    writer.Key(key.data(), static_cast<rapidjson::SizeType>(key.size()));
}

// The "type" member of a schema.
inline void writeSchemaType(OpenApiWriter& writer, const char* type) {
    writer.Key("type");
    writer.String(type);
}

}  // namespace tav::devhost

// Choosing the reader for a request body by its content type, and sniffing
// the format of a container-valued text that comes without one.
#pragma once

#include <string_view>

#include "binding/binding_result.h"

namespace tav {

// By content type, compared ignoring case by prefix: "application/x-msgpack"
// (bytes after the value fail with "Extra MessgePack data found in body"),
// "application/json" and "application/vnd.api+json", "application/x-yaml";
// any other type fails with "Unsupported body content type".
BindingResult readBody(std::string_view contentType, std::string_view body);

// The format of a container-valued text without a content type: a MessagePack
// map or array lead byte, "{" or "[" after spaces (JSON), "---" after spaces
// (YAML); None for any other text.
enum class SniffedFormat { None, MessagePack, Json, Yaml };
SniffedFormat sniffContainerFormat(std::string_view text);

// Reads a text in its sniffed format; bytes after a MessagePack value are
// ignored. Returns false, leaving result alone, for any other text.
bool readSniffedContainer(std::string_view text, BindingResult& result);

}  // namespace tav

// JSON Schemas of the module's types: one for a kind word (with its element
// kind and type name) and the component schemas of the type records that
// the paths reach. Records become objects whose required members are those
// not marked optional; enums are strings listing their enumerators by name,
// as they travel on the wire.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "openapi/openapi_json.h"
#include "tav/plugin_abi.h"

namespace tav::devhost {

// A kind word with what qualifies it, as argument, field and return records
// give it.
struct KindRef {
    std::uint32_t kind = 0;
    std::uint32_t elementKind = 0;
    std::string_view typeName;
    bool optional = false;
};

class SchemaWriter {
public:
    explicit SchemaWriter(const TavEndpointTable& table);

    // The schema of a value of that kind; a record or enum becomes a
    // reference to its component, which writeComponents then writes.
    void writeSchema(OpenApiWriter& writer, const KindRef& ref);

    // "schemas" of the components: every referenced type, the types their
    // fields reach, and the error object the host answers with.
    void writeComponents(OpenApiWriter& writer);

    static constexpr std::string_view kErrorSchema = "HostError";

private:
    void writeElement(OpenApiWriter& writer, std::uint32_t kind, std::string_view typeName);
    void writeReference(OpenApiWriter& writer, std::string_view typeName);
    void writeType(OpenApiWriter& writer, const TavTypeRecord& type);

    std::map<std::string_view, const TavTypeRecord*> types_;
    std::set<std::string_view> referenced_;
    std::deque<const TavTypeRecord*> pending_;
};

// A component name is limited to letters, digits, ".", "-" and "_".
std::string componentName(std::string_view typeName);

}  // namespace tav::devhost

// JSON Schemas of the module's types: one for a kind word (with its element
// kind and type name) and the component schemas of the type records that
// the documents reach. A record in an answer becomes an object whose
// required members are those not marked optional; in a request body, where
// the module requires none, a component of its own with nothing required.
// Enums are strings listing their enumerators by name, as on the wire.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

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

// Who writes the value: the module (every non-optional member present) or
// a client (a body, whose absent members keep their defaults).
enum class SchemaRole { Answer, Body };

class SchemaWriter {
public:
    explicit SchemaWriter(const TavEndpointTable& table);

    // The schema of a value of that kind; a record or enum becomes a
    // reference to its component, which writeComponents then writes.
    void writeSchema(OpenApiWriter& writer, const KindRef& ref,
                     SchemaRole role = SchemaRole::Answer);

    // Members of the "schemas" object, which the caller opens: every
    // referenced type and the types their fields reach.
    void writeComponents(OpenApiWriter& writer);

private:
    using Component = std::pair<std::string_view, SchemaRole>;

    void writeElement(OpenApiWriter& writer, std::uint32_t kind, std::string_view typeName,
                      SchemaRole role);
    void writeReference(OpenApiWriter& writer, std::string_view typeName, SchemaRole role);
    void writeType(OpenApiWriter& writer, const TavTypeRecord& type, SchemaRole role);

    std::map<std::string_view, const TavTypeRecord*> types_;
    std::set<Component> referenced_;
    std::deque<Component> pending_;
};

// A component name is limited to letters, digits, ".", "-" and "_". A
// record's body form has "Body" appended; an enum has one form only.
std::string componentName(std::string_view typeName);
std::string componentName(const TavTypeRecord& type, SchemaRole role);

}  // namespace tav::devhost

// What the module's API description tells the tool about the implementations
// behind it. Each facade route "/tav-champ-select/PATH" forwards to PATH under
// the active implementation's base, so the endpoint table gives both the
// relative URLs the module ever requests and, through each GET route's return
// type, the record type of every resource the simulation serves. Values are
// checked by the rules the module converts them with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"

namespace tav::devhost {

// A step from a value to one inside it: a mapping's key or a sequence's index.
using ValuePathStep = std::variant<std::string, std::size_t>;

// Where a value disagrees with its type: the steps below the checked value
// and what is wrong.
struct TypeMismatch {
    std::vector<ValuePathStep> at;
    std::string what;
};

class ModuleTypes {
public:
    // Keeps pointers into table: valid while the module stays loaded.
    explicit ModuleTypes(const TavEndpointTable& table);

    // Whether the module ever requests url (relative to an implementation's
    // base, a query allowed).
    bool requests(std::string_view url) const;
    // The relative paths the module requests, sorted: "v1/session, ...".
    const std::string& requestedList() const { return requestedList_; }

    // Checks the value of resource path (relative, "v1/session") against the
    // type the module reads it as; nothing for a path no GET route returns.
    // Keys of a record the module would ignore go to unknownKeys, if given.
    std::optional<TypeMismatch> checkResource(
        std::string_view path, const BindingValue& value,
        std::vector<TypeMismatch>* unknownKeys = nullptr) const;

private:
    std::vector<std::string_view> requested_;  // path templates, sorted
    std::string requestedList_;
    std::map<std::string_view, const TavFunctionRecord*> resourceReaders_;  // by relative path
    std::map<std::string_view, const TavTypeRecord*> types_;
};

}  // namespace tav::devhost

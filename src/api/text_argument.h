// Assigning a request's text arguments (path captures, query pieces, header
// values) to a function's parameters: by name, checking the declared
// location, through index paths ("ids.0", "filter.name") into collections
// and structures, and decoding container texts by their leading bytes.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "api/call_result.h"
#include "api/route_registration.h"
#include "binding/binding_value.h"

namespace tav {

struct BindingFunctionDescriptor;

class TextArgumentAssigner {
public:
    // indexBudget bounds how many elements index paths may create over the
    // whole request, so that "ids.2147483647" cannot ask for a collection of
    // two billion; an index beyond it is out of range, as is any segment of
    // a path deeper than the readers nest (512).
    TextArgumentAssigner(const BindingFunctionDescriptor& function,
                         std::span<const ArgumentLocation> locations,
                         std::span<BindingValue> parameters, std::size_t indexBudget)
        : function_(function),
          locations_(locations),
          parameters_(parameters),
          indexBudget_(indexBudget) {}

    // Assigns text to the parameter name refers to; false, with the error in
    // call, when it cannot.
    bool assign(CallResult& call, std::string_view name, std::string_view text,
                ArgumentLocation location);

    // The parameter's index, or the parameter count when there is none.
    std::size_t find(std::string_view name) const;

private:
    bool assignPath(CallResult& call, BindingValue& parameter, std::string_view path,
                    std::string_view text);

    const BindingFunctionDescriptor& function_;
    std::span<const ArgumentLocation> locations_;
    std::span<BindingValue> parameters_;
    std::size_t indexBudget_;
};

// Converts text into target: MessagePack, JSON, YAML or a blob by content
// type; without one, a container text by its leading bytes; else a string.
// A decoder's failure is reported on call naming the parameter and function.
bool convertText(CallResult& call, BindingValue& target, std::string_view contentType,
                 std::string_view text, bool container, std::string_view parameterName,
                 std::string_view functionName);

}  // namespace tav

// The records through which an API describes itself (functions, arguments,
// types, fields, enumerators, events), registered in every registry so that
// they reach the host with the rest of the API description.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/record_description.h"

namespace tav {

enum class BindingHelpFormat : std::int32_t {
    Full = 1,
    Epytext = 2,
};

struct BindingFullTypeIdentifier {
    std::string type;
    std::string elementType;
};

struct BindingFullArgumentHelp {
    std::string name;
    std::string description;
    BindingFullTypeIdentifier type;
    bool optional = false;
};

struct BindingFullFunctionHelp {
    std::string name;
    std::string nameSpace;
    std::vector<BindingFullArgumentHelp> arguments;
    BindingFullTypeIdentifier returns;
    std::string description;
    std::string help;
    bool threadSafe = false;
    std::string async;
    std::vector<std::string> tags;
};

struct BindingFullEnumValueHelp {
    std::string name;
    std::string description;
    std::int32_t value = 0;
};

struct BindingFullFieldHelp {
    std::string name;
    std::string description;
    std::uint32_t offset = 0;
    BindingFullTypeIdentifier type;
    bool optional = false;
};

struct BindingFullTypeHelp {
    std::string name;
    std::string nameSpace;
    std::uint32_t size = 0;
    std::string description;
    std::vector<std::string> tags;
    std::vector<BindingFullFieldHelp> fields;
    std::vector<BindingFullEnumValueHelp> values;
};

struct BindingFullEventHelp {
    std::string name;
    std::string nameSpace;
    BindingFullTypeIdentifier type;
    std::string description;
    std::vector<std::string> tags;
};

struct BindingFullApiHelp {
    std::vector<BindingFullFunctionHelp> functions;
    std::vector<BindingFullTypeHelp> types;
    std::vector<BindingFullEventHelp> events;
};

constexpr auto describe(BindingDescribe<BindingHelpFormat>) {
    using F = BindingHelpFormat;
    return enumeration<F>({{"Full", F::Full, "Native help format"},
                           {"Epytext", F::Epytext, "Python epytext format"}});
}

constexpr auto describe(BindingDescribe<BindingFullTypeIdentifier>) {
    using T = BindingFullTypeIdentifier;
    return record(field("type", &T::type), field("elementType", &T::elementType));
}

constexpr auto describe(BindingDescribe<BindingFullArgumentHelp>) {
    using T = BindingFullArgumentHelp;
    return record(field("name", &T::name), field("description", &T::description),
                  field("type", &T::type), field("optional", &T::optional));
}

constexpr auto describe(BindingDescribe<BindingFullFunctionHelp>) {
    using T = BindingFullFunctionHelp;
    return record(field("name", &T::name), field("nameSpace", &T::nameSpace),
                  field("arguments", &T::arguments), field("returns", &T::returns),
                  field("description", &T::description), field("help", &T::help),
                  field("threadSafe", &T::threadSafe), field("async", &T::async),
                  field("tags", &T::tags));
}

constexpr auto describe(BindingDescribe<BindingFullEnumValueHelp>) {
    using T = BindingFullEnumValueHelp;
    return record(field("name", &T::name), field("description", &T::description),
                  field("value", &T::value));
}

constexpr auto describe(BindingDescribe<BindingFullFieldHelp>) {
    using T = BindingFullFieldHelp;
    return record(field("name", &T::name), field("description", &T::description),
                  field("offset", &T::offset), field("type", &T::type),
                  field("optional", &T::optional));
}

constexpr auto describe(BindingDescribe<BindingFullTypeHelp>) {
    using T = BindingFullTypeHelp;
    return record(field("name", &T::name), field("nameSpace", &T::nameSpace),
                  field("size", &T::size), field("description", &T::description),
                  field("tags", &T::tags), field("fields", &T::fields),
                  field("values", &T::values));
}

constexpr auto describe(BindingDescribe<BindingFullEventHelp>) {
    using T = BindingFullEventHelp;
    return record(field("name", &T::name), field("nameSpace", &T::nameSpace),
                  field("type", &T::type), field("description", &T::description),
                  field("tags", &T::tags));
}

constexpr auto describe(BindingDescribe<BindingFullApiHelp>) {
    using T = BindingFullApiHelp;
    return record(field("functions", &T::functions), field("types", &T::types),
                  field("events", &T::events));
}

}  // namespace tav

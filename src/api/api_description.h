// The API description handed to the host in the load record: every endpoint
// (its function's signature, path, method, argument locations and the entry
// the host calls), every registered type and every event, as the packed C
// records of tav/plugin_abi.h. Built once; it owns every record and array and
// points into the registry's and the registrations' own strings, so both must
// outlive it and stay unchanged.
#pragma once

#include <memory>
#include <vector>

#include "api/route_registration.h"
#include "tav/plugin_abi.h"

namespace tav {

class BindingTypeRegistry;

class ApiDescription {
public:
    // The caller holds the lock that guards the registrations (the API
    // object's); the registry takes its own while it lists its content.
    static std::unique_ptr<ApiDescription> build(
        const BindingTypeRegistry& registry, const std::vector<RouteRegistration*>& registrations,
        TavEndpointEntry entry);

    ApiDescription(const ApiDescription&) = delete;
    ApiDescription& operator=(const ApiDescription&) = delete;

    // The six-word endpoint table, for word 6 of the load record.
    const TavEndpointTable* table() const { return &table_; }

private:
    class Builder;
    ApiDescription() = default;

    TavEndpointTable table_{};
    // Each array is sized once before it is filled, so the addresses that the
    // records hold of each other stay valid.
    std::vector<TavFunctionRecord> functions_;
    std::vector<TavArgumentRecord> arguments_;
    std::vector<TavTypeRecord> types_;
    std::vector<TavFieldRecord> fields_;
    std::vector<TavEnumeratorRecord> enumerators_;
    std::vector<TavEventRecord> events_;
    std::vector<TavEndpointRecord> endpoints_;
    std::vector<TavArgumentLocationNode> locations_;
    std::vector<TavTextListNode> textLists_;
    std::vector<const char*> texts_;  // the tag arrays and the registrations' text lists
};

}  // namespace tav

// Conversion between BindingValue and the host's plain value record
// (TavHostValue): reading what the host or another plugin hands over, and
// building records, with all their texts and arrays, in one owned block.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"

namespace tav {

class BindingTypeRegistry;

// Where hostToValue reports a failure: an owned copy of the message.
struct BindingErrorSink {
    std::string message;
    bool error = false;
};

// Reads a host value into target (a value of any tree); name is what the
// message calls the value and depth how deep target lies in a record being
// read in pieces. Returns false, with the message in sink, for a tag
// outside 0 to 10 anywhere in the record.
bool hostToValue(BindingErrorSink& sink, BindingValue& target, const TavHostValue& host,
                 std::string_view name, int depth = 0);

// A host value record and everything it points at, in one block.
class HostValueRecord {
public:
    HostValueRecord() = default;
    HostValueRecord(HostValueRecord&&) noexcept = default;
    HostValueRecord& operator=(HostValueRecord&&) noexcept = default;

    const TavHostValue& root() const noexcept { return root_; }
    std::size_t storageSize() const noexcept { return size_; }

    // Hands the record to the caller, who frees it with freeHostValue; this
    // record is empty afterwards.
    TavHostValue release() noexcept;

private:
    friend bool valueToHost(const BindingTypeRegistry* registry, HostValueRecord& out,
                            const BindingValue& value);
    struct Free {
        void operator()(unsigned char* block) const noexcept;
    };

    TavHostValue root_{};
    std::unique_ptr<unsigned char, Free> storage_;
    std::size_t size_ = 0;
};

// Frees a record handed over by HostValueRecord::release: its one block, if
// any, starts where the root's payload points.
void freeHostValue(const TavHostValue& root) noexcept;

// Builds the record of value into out. Enums travel as their enumerator name
// when the registry knows it, else as their number. Returns false (leaving
// out empty) only when a count does not fit the record's 32-bit fields.
bool valueToHost(const BindingTypeRegistry* registry, HostValueRecord& out,
                 const BindingValue& value);

}  // namespace tav

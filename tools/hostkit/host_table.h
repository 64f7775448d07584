// The host's function table (TavPluginHost) filled from one class: a virtual
// function per slot, each with a default that does nothing (a request is
// answered with the empty value of its zeroed record), and the table's
// trampolines, which find the object from the table pointer the module hands
// back. A host overrides only the slots it has behaviour for.
#pragma once

#include <cstdint>
#include <string_view>

#include <tav/plugin_abi.h>

namespace tav::hostkit {

class HostTable {
public:
    HostTable();
    virtual ~HostTable() = default;
    HostTable(const HostTable&) = delete;
    HostTable& operator=(const HostTable&) = delete;

    const TavPluginHost* table() const { return &table_.slots; }
    TavInitRecord initRecord(void* hostContext) const { return {table(), hostContext}; }

protected:
    // The slots, called by the module on the thread of a call into it. The
    // trampolines skip a call whose record or name is null and pass a null
    // text on as the empty one.
    virtual void sendRequest(TavResponse& /*response*/, const TavRequest& /*request*/) {}
    virtual void slot1(std::uintptr_t /*a*/, std::uintptr_t /*b*/) {}
    virtual void publishEvent(const TavHostEvent& /*event*/) {}
    // callback is never null.
    virtual void subscribe(std::string_view /*name*/, void* /*hostContext*/,
                           TavEventCallback /*callback*/, void* /*userData*/,
                           std::uint32_t /*flag*/) {}
    virtual void unsubscribe(std::string_view /*name*/, void* /*hostContext*/) {}
    virtual void slot5(std::uintptr_t /*a*/, std::uintptr_t /*b*/, std::uintptr_t /*c*/,
                       std::uint64_t /*d*/, std::uintptr_t /*e*/) {}
    // Nothing else runs meanwhile in a host of one call at a time, so the
    // module may always continue at once.
    virtual void waitStep() {}
    virtual void waitLabel(std::string_view /*label*/, std::uintptr_t /*zero*/) {}
    virtual void waitResume() {}
    virtual void log(std::int32_t /*level*/, std::string_view /*message*/) {}

    // A slot threw: the exception stops here, since none may travel back
    // into the module. The default writes one line to stderr.
    virtual void slotFailed(const char* slot, const char* what) noexcept;

private:
    // Standard layout with the slots first, so that a trampoline can find
    // its owner from the table pointer it receives.
    struct Table {
        TavPluginHost slots;
        HostTable* owner;
    };
    friend struct Trampolines;

    Table table_{};
};

}  // namespace tav::hostkit

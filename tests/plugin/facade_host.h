// The real module under a fake host with the two champ-select
// implementations scripted behind it by URL: resource events are delivered
// through the module's subscription callbacks, and what it publishes and logs
// is read back from the host.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "module_host.h"

namespace tav::testing {

inline constexpr const char* kLegacy = "/tav-champ-select-legacy/";
inline constexpr const char* kTeamBuilder = "/tav-lobby-team-builder/champ-select/";

// A value for scripts and events.
BindingValue json(const char* text);

class FacadeHost {
public:
    FacadeHost();
    ~FacadeHost();
    FacadeHost(const FacadeHost&) = delete;
    FacadeHost& operator=(const FacadeHost&) = delete;

    // Loads and initialises the module; scripts made before reach Init's reads.
    void start();

    // What the implementations answer for url: a value record or text as a
    // stream (with an error status, an error answer that carries the stream).
    // Unknown URLs get a 404; each record is held until its release runs.
    void answer(const std::string& url, const BindingValue& value);
    void answerStream(const std::string& url, const std::string& text,
                      std::uint32_t errorStatus = 0);

    // Delivers a resource event of base + relativePath as the host does.
    void deliver(const std::string& base, const std::string& relativePath, const char* eventType,
                 const BindingValue& data);
    void setActive(const std::string& base, const BindingValue& active);

    // The events published since the last call, as "name eventType uri".
    std::vector<std::string> takePublished();
    // The log lines since the last call, as "level text".
    std::vector<std::string> takeLog();

    // Calls the endpoint registered for method and route (its path template)
    // through the endpoint table of the load record, as the host does, with
    // path as the request's path; the response record is read and released.
    struct Answer {
        bool found = false;
        bool isError = false;
        std::uint32_t status = 0;
        std::string error;
        BindingValue value;
    };
    Answer call(std::uint32_t method, const std::string& route, const std::string& path,
                const std::string& body = {}, const char* contentType = "application/json");
    // The requests the scripted implementations received since the last call,
    // as "METHOD url".
    std::vector<std::string> takeForwarded();

    // Streams handed out and not closed exactly once.
    int badStreams() const;

    ModuleHost module;

private:
    struct Script {
        BindingValue value;
        std::uint32_t status = 200;
        std::string text;
        bool streamed = false;
    };
    struct Stream;
    struct Live;

    void respond(TavResponse& response, const RecordedRequest& request);
    static void TAV_ABI release(TavResponse* response);

    std::map<std::string, Script> scripts_;
    std::map<const TavResponse*, std::unique_ptr<Live>> live_;
    std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace tav::testing

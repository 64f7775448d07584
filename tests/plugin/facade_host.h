// The real module under a fake host with the two champ-select
// implementations scripted behind it: resource events are delivered through
// the module's subscription callbacks, and what it publishes and logs is read
// back from the host.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "binding/binding_value.h"
#include "module_host.h"
#include "scripted_answers.h"

namespace tav::testing {

inline constexpr const char* kLegacy = "/tav-champ-select-legacy/";
inline constexpr const char* kTeamBuilder = "/tav-lobby-team-builder/champ-select/";

// Values for scripts and events.
BindingValue boolean(bool b);
BindingValue json(const char* text);

class FacadeHost {
public:
    FacadeHost();
    ~FacadeHost();
    FacadeHost(const FacadeHost&) = delete;
    FacadeHost& operator=(const FacadeHost&) = delete;

    // Loads and initialises the module; scripts made before reach Init's reads.
    void start();

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

    // From now on url is answered with text as a stream instead of by its
    // script (ScriptedAnswers answers with value records only); with an error
    // status, as an error answer that carries the stream.
    void stream(const std::string& url, const std::string& text, std::uint32_t errorStatus = 0);
    // Streams handed out and not closed (closed twice counts as a fault).
    int openStreams() const;
    int doubleCloses() const;

    ModuleHost module;
    ScriptedAnswers answers;

private:
    struct Stream;
    struct StreamScript {
        std::string text;
        std::uint32_t errorStatus = 0;
    };
    std::map<std::string, StreamScript> streamed_;
    std::vector<std::unique_ptr<Stream>> streams_;
};

}  // namespace tav::testing

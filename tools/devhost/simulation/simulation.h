// The two simulated champ-select implementations: their state from the
// scenario, the answers they give to the module's requests, and the resource
// events (Create, Update, Delete) every change of that state sends to the
// module, as the real implementations do. A session's timer runs from when
// its resource was loaded or put: answers and events carry it as it reads
// then, the state keeps it as it was given.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "simulation/scenario.h"
#include "simulation/scripted_answers.h"

namespace tav::devhost {

class Simulation {
public:
    // Receives each resource event: the resource's full URI, "Create",
    // "Update" or "Delete", and its data (empty for a Delete).
    using EventSink = std::function<void(const std::string& uri, std::string_view eventType,
                                         const BindingValue& data)>;

    // The time timers run on: how far a steady clock has gone, and the wall
    // clock in milliseconds since the epoch, which a timer reports. The
    // tool's is the system's; a test sets its own.
    struct Instant {
        std::chrono::milliseconds steady{0};
        std::uint64_t epochMs = 0;
    };
    using Clock = std::function<Instant()>;
    static Instant systemNow();

    explicit Simulation(EventSink sink, Clock clock = &systemNow);

    // Replaces the whole state, with one event per difference: the old active
    // implementation goes inactive first, the new one becomes active last.
    void apply(Scenario scenario);
    void setActive(std::optional<Implementation> active);
    std::optional<Implementation> active() const { return state_.active; }
    // Create when the resource is new, else Update.
    void putResource(Implementation implementation, const std::string& path, BindingValue value);
    // Delete; false when there was no such resource.
    bool deleteResource(Implementation implementation, const std::string& path);
    // Replaces an answer scripted for the same method and URL.
    void script(Implementation implementation, ScriptedAnswer answer);
    // Removes the answer scripted for method and url, of one implementation
    // or of either; false when there was none.
    bool unscript(std::optional<Implementation> only, std::string_view method,
                  std::string_view url);
    void unscriptAll();
    // {"legacy": [answer, ...], "team-builder": [...]}, as describeScriptedAnswer.
    BindingValue scriptedAnswers() const;
    // What the answers given since the last call ask of the API answer.
    AnswerHold takeHold() { return std::exchange(hold_, {}); }

    // Answers a request the module sent to one of the implementations.
    void answer(TavResponse& response, const TavRequest& request);

    // {"activeImplementation": ..., "implementations": {"legacy": {"resources":
    // {...}, "answers": [...]}, "team-builder": {...}}}, timers as given.
    BindingValue state() const;

private:
    // value of the resource at path, its timer (if it has one) running.
    BindingValue live(Implementation implementation, std::string_view path,
                      const BindingValue& value) const;
    void event(Implementation implementation, std::string_view path, std::string_view eventType,
               const BindingValue& data);
    void activity(Implementation implementation, bool active);

    EventSink sink_;
    Clock clock_;
    Scenario state_;
    // When each resource was loaded or put, by implementation and path.
    std::array<std::map<std::string, std::chrono::milliseconds, std::less<>>, 2> since_;
    AnswerHold hold_;
};

}  // namespace tav::devhost

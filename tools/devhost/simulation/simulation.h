// The two simulated champ-select implementations: their state from the
// scenario, the answers they give to the module's requests, and the resource
// events (Create, Update, Delete) every change of that state sends to the
// module, as the real implementations do. A session's timer runs on the tool
// clock from when its resource was loaded or put: answers and events carry
// it as it reads then, the state keeps it as it was given. A scenario with a
// flow plays by itself (flow.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "simulation/flow.h"
#include "simulation/scenario.h"
#include "simulation/scripted_answers.h"
#include "simulation/tool_clock.h"

namespace tav::devhost {

class Simulation {
public:
    // Receives each resource event: the resource's full URI, "Create",
    // "Update" or "Delete", and its data (empty for a Delete).
    using EventSink = std::function<void(const std::string& uri, std::string_view eventType,
                                         const BindingValue& data)>;

    Simulation(EventSink sink, ToolClock& clock);
    ~Simulation();

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
    // Removes that very answer, if it is still scripted.
    void withdraw(Implementation implementation, const ScriptedAnswer& answer);

    // What the scenario's check noted, "FILE:LINE: ...".
    const std::vector<std::string>& warnings() const { return state_.warnings; }

    // The flow the scenario plays, if any.
    Flow* flow() { return flow_.get(); }
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
    friend class Flow;
    BindingValue* resourceOf(Implementation implementation, std::string_view path);
    // The resource at path changed in place: its event, and with
    // restartTimer its timer starts again.
    void stored(Implementation implementation, const std::string& path, bool created,
                bool restartTimer);

    // value of the resource at path, its timer (if it has one) running.
    BindingValue live(Implementation implementation, std::string_view path,
                      const BindingValue& value) const;
    void event(Implementation implementation, std::string_view path, std::string_view eventType,
               const BindingValue& data);
    void activity(Implementation implementation, bool active);

    EventSink sink_;
    ToolClock& clock_;
    Scenario state_;
    // When each resource was loaded or put (clock ms), by implementation and
    // path.
    std::array<std::map<std::string, std::int64_t, std::less<>>, 2> since_;
    std::unique_ptr<Flow> flow_;
    AnswerHold hold_;
};

}  // namespace tav::devhost

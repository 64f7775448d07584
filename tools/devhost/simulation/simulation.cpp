#include "simulation/simulation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "api/method_names.h"
#include "binding/host_value.h"
#include "simulation/simulated_behaviour.h"

namespace tav::devhost {
namespace {

constexpr std::string_view kActivePath = "v1/implementation-active";
constexpr std::string_view kSessionPath = "v1/session";
constexpr std::string_view kTimerPath = "v1/session/timer";

// Without a resource of their own, "v1/session/timer" and
// "v1/session/trades" are read from the session.
const BindingValue* sessionMember(const ImplementationState& state, std::string_view path) {
    constexpr std::string_view kPrefix = "v1/session/";
    const auto session = state.resources.find("v1/session");
    if (session == state.resources.end() || !path.starts_with(kPrefix) ||
        path.find('/', kPrefix.size()) != std::string_view::npos) {
        return nullptr;
    }
    return session->second.tryFind(path.substr(kPrefix.size()));
}

}  // namespace

Simulation::Simulation(EventSink sink, ToolClock& clock) : sink_(std::move(sink)), clock_(clock) {}

Simulation::~Simulation() = default;

BindingValue* Simulation::resourceOf(Implementation implementation, std::string_view path) {
    auto& resources = state_.implementations[static_cast<int>(implementation)].resources;
    const auto found = resources.find(std::string(path));
    return found != resources.end() ? &found->second : nullptr;
}

void Simulation::stored(Implementation implementation, const std::string& path, bool created,
                        bool restartTimer) {
    if (restartTimer) {
        since_[static_cast<int>(implementation)].insert_or_assign(path, clock_.nowMs());
    }
    event(implementation, path, created ? "Create" : "Update",
          state_.implementations[static_cast<int>(implementation)].resources[path]);
}

BindingValue Simulation::live(Implementation implementation, std::string_view path,
                              const BindingValue& value) const {
    const bool session = path == kSessionPath;
    if ((!session && path != kTimerPath) || value.kind() != BindingValueKind::Structure) {
        return value;
    }
    // A timer read from its session runs from when the session came.
    const bool ownTimer =
        !session && state_.implementations[static_cast<int>(implementation)].resources.contains(
                        std::string(kTimerPath));
    const auto& since = since_[static_cast<int>(implementation)];
    const auto loaded = since.find(ownTimer ? kTimerPath : kSessionPath);
    const std::int64_t elapsed = loaded != since.end() ? clock_.nowMs() - loaded->second : 0;
    BindingValue copy = value;
    BindingValue* timer = session ? const_cast<BindingValue*>(copy.tryFind("timer")) : &copy;
    if (timer != nullptr) {
        runTimer(*timer, elapsed, clock_.epochMs());
    }
    return copy;
}

void Simulation::event(Implementation implementation, std::string_view path,
                       std::string_view eventType, const BindingValue& data) {
    sink_(std::string(implementationBase(implementation)).append(path), eventType,
          live(implementation, path, data));
}

void Simulation::activity(Implementation implementation, bool active) {
    BindingValue data;
    data.setBool(active);
    event(implementation, kActivePath, "Update", data);
}

void Simulation::apply(Scenario scenario) {
    // The old flow's steps still on the clock do nothing once it is gone.
    flow_.reset();
    Scenario previous = std::move(state_);
    state_ = std::move(scenario);
    const std::int64_t now = clock_.nowMs();
    for (const Implementation implementation : kImplementations) {
        auto& since = since_[static_cast<int>(implementation)];
        since.clear();
        for (const auto& [path, value] :
             state_.implementations[static_cast<int>(implementation)].resources) {
            since.emplace(path, now);
        }
    }
    if (previous.active && previous.active != state_.active) {
        activity(*previous.active, false);
    }
    for (const Implementation implementation : kImplementations) {
        const auto& before = previous.implementations[static_cast<int>(implementation)].resources;
        const auto& after = state_.implementations[static_cast<int>(implementation)].resources;
        for (const auto& [path, value] : before) {
            if (!after.contains(path)) {
                event(implementation, path, "Delete", BindingValue());
            }
        }
        for (const auto& [path, value] : after) {
            const auto old = before.find(path);
            if (old == before.end()) {
                event(implementation, path, "Create", value);
            } else if (!(old->second == value)) {
                event(implementation, path, "Update", value);
            }
        }
    }
    if (state_.active && previous.active != state_.active) {
        activity(*state_.active, true);
    }
    if (state_.flow) {
        flow_ = std::make_unique<Flow>(*this, clock_, *state_.flow);
        flow_->start();
    }
}

void Simulation::setActive(std::optional<Implementation> active) {
    if (active == state_.active) {
        return;
    }
    const std::optional<Implementation> previous = state_.active;
    state_.active = active;
    if (previous) {
        activity(*previous, false);
    }
    if (active) {
        activity(*active, true);
    }
}

void Simulation::putResource(Implementation implementation, const std::string& path,
                             BindingValue value) {
    auto& resources = state_.implementations[static_cast<int>(implementation)].resources;
    const bool created = !resources.contains(path);
    BindingValue& stored = resources[path];
    stored = std::move(value);
    since_[static_cast<int>(implementation)].insert_or_assign(path, clock_.nowMs());
    event(implementation, path, created ? "Create" : "Update", stored);
}

bool Simulation::deleteResource(Implementation implementation, const std::string& path) {
    auto& resources = state_.implementations[static_cast<int>(implementation)].resources;
    if (resources.erase(path) == 0) {
        return false;
    }
    since_[static_cast<int>(implementation)].erase(path);
    event(implementation, path, "Delete", BindingValue());
    return true;
}

void Simulation::script(Implementation implementation, ScriptedAnswer answer) {
    auto& answers = state_.implementations[static_cast<int>(implementation)].answers;
    std::erase_if(answers, [&](const ScriptedAnswer& a) {
        return a.method == answer.method && a.url == answer.url;
    });
    answers.push_back(std::move(answer));
}

void Simulation::withdraw(Implementation implementation, const ScriptedAnswer& answer) {
    std::erase_if(state_.implementations[static_cast<int>(implementation)].answers,
                  [&](const ScriptedAnswer& a) {
                      return a.method == answer.method && a.url == answer.url &&
                             a.status == answer.status && a.message == answer.message;
                  });
}

bool Simulation::unscript(std::optional<Implementation> only, std::string_view method,
                          std::string_view url) {
    std::size_t removed = 0;
    for (const Implementation implementation : kImplementations) {
        if (!only || *only == implementation) {
            removed += removeScriptedAnswers(
                state_.implementations[static_cast<int>(implementation)].answers, method, url);
        }
    }
    return removed != 0;
}

void Simulation::unscriptAll() {
    for (ImplementationState& state : state_.implementations) {
        state.answers.clear();
    }
}

BindingValue Simulation::scriptedAnswers() const {
    BindingValue all;
    for (const Implementation implementation : kImplementations) {
        BindingValue& answers = all.member(implementationName(implementation));
        answers.makeCollection();
        for (const ScriptedAnswer& a :
             state_.implementations[static_cast<int>(implementation)].answers) {
            answers.append() = describeScriptedAnswer(a);
        }
    }
    return all;
}

void Simulation::answer(TavResponse& response, const TavRequest& request) {
    const std::string_view url = request.url != nullptr ? request.url : "";
    const std::string_view method =
        request.method == TAV_METHOD_CUSTOM
            ? std::string_view(request.customMethod != nullptr ? request.customMethod : "")
            : methodName(request.method);
    SimulatedAnswer answer;
    std::optional<Implementation> target;
    for (const Implementation implementation : kImplementations) {
        if (url.starts_with(implementationBase(implementation))) {
            target = implementation;
        }
    }
    if (!target && url.starts_with("/telemetry/")) {
        answer.status = 204;  // taken, and dropped
        fillResponse(response, answer);
        return;
    }
    if (!target) {
        answer.isError = true;
        answer.status = 404;
        answer.message = "No plugin serves " + std::string(url);
        fillResponse(response, answer);
        return;
    }
    ImplementationState& state = state_.implementations[static_cast<int>(*target)];
    const std::string_view relative = url.substr(implementationBase(*target).size());
    const std::string_view path = relative.substr(0, relative.find('?'));

    BindingValue argument;
    if (request.argumentCount > 0 && request.arguments != nullptr) {
        BindingErrorSink sink;
        (void)hostToValue(sink, argument, request.arguments[0].value, "argument");
    }

    std::vector<std::string> changed;
    const std::optional<ScriptedAnswer> scripted =
        takeScriptedAnswer(state.answers, method, relative, path);
    if (scripted) {
        hold_.delay = std::max(hold_.delay, std::chrono::milliseconds(scripted->delayMs));
        if (scripted->hang) {
            hold_.hung = std::string(method) + " " + std::string(relative) + " of the " +
                         std::string(implementationName(*target)) + " implementation";
        }
    }
    if (scripted && !scripted->simulated) {
        // What the module makes of a hung request is never seen.
        answer.isError = scripted->status.has_value() || scripted->hang;
        answer.status = scripted->hang ? 504 : scripted->status.value_or(200);
        answer.message = scripted->hang ? "Scripted to hang" : scripted->message;
        answer.value = scripted->value;
    } else if (method == "GET" && path == kActivePath) {
        answer.value.setBool(state_.active == target);
    } else if (flow_ && target == state_.active &&
               flow_->answer(method, path, argument, answer, changed)) {
        // answered by the rules of the flow
    } else if (simulateBehaviour(state, method, path, argument, answer, changed)) {
        // answered
    } else if (const auto found = state.resources.find(std::string(path));
               method == "GET" && found != state.resources.end()) {
        answer.value = live(*target, path, found->second);
    } else if (const BindingValue* member = sessionMember(state, path); method == "GET" && member) {
        answer.value = live(*target, path, *member);
    } else {
        answer.isError = true;
        answer.status = 404;
        answer.message = "Not Found";
    }
    fillResponse(response, answer);

    std::sort(changed.begin(), changed.end());
    changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
    for (const std::string& resource : changed) {
        event(*target, resource, "Update", state.resources[resource]);
    }
    if (flow_ && !changed.empty()) {
        flow_->afterRequest();
    }
}

BindingValue Simulation::state() const {
    BindingValue root;
    BindingValue& active = root.member("activeImplementation");
    if (state_.active) {
        active.setString(implementationName(*state_.active));
    }
    BindingValue& implementations = root.member("implementations");
    for (const Implementation implementation : kImplementations) {
        const ImplementationState& s = state_.implementations[static_cast<int>(implementation)];
        BindingValue& out = implementations.member(implementationName(implementation));
        BindingValue& resources = out.member("resources");
        resources.makeStructure();
        for (const auto& [path, value] : s.resources) {
            resources.member(path) = value;
        }
        BindingValue& answers = out.member("answers");
        answers.makeCollection();
        for (const ScriptedAnswer& a : s.answers) {
            answers.append() = describeScriptedAnswer(a);
        }
    }
    if (flow_) {
        root.member("flow") = flow_->state();
    }
    if (!state_.warnings.empty()) {
        BindingValue& warnings = root.member("warnings");
        for (const std::string& warning : state_.warnings) {
            warnings.append().setString(warning);
        }
    }
    return root;
}

}  // namespace tav::devhost

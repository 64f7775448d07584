#include "simulation/scenario.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>

#include "formats/json.h"
#include "formats/yaml.h"
#include "simulation/scenario_lines.h"

namespace tav::devhost {
namespace {

struct KnownResource {
    std::string_view path;
    BindingValueKind kind;
};

// What each implementation serves from its state (the routes the module
// forwards to, and the resources it mirrors).
constexpr KnownResource kResources[] = {
    {"v1/session", BindingValueKind::Structure},
    {"v1/session/timer", BindingValueKind::Structure},
    {"v1/session/trades", BindingValueKind::Collection},
    {"v1/pickable-champions", BindingValueKind::Structure},
    {"v1/bannable-champions", BindingValueKind::Structure},
    {"v1/disabled-champions", BindingValueKind::Structure},
    {"v1/pickable-skins", BindingValueKind::Structure},
    {"v1/team-boost", BindingValueKind::Structure},
};

constexpr std::string_view kMethods[] = {"GET", "POST", "PUT", "PATCH", "DELETE"};

// A number written as one (not text), from low to high.
std::optional<std::uint64_t> wholeNumber(const BindingValue& value, std::uint64_t low,
                                         std::uint64_t high) {
    std::optional<std::uint64_t> number;
    if (value.kind() == BindingValueKind::Unsigned) {
        number = value.asUInt64();
    } else if (value.kind() == BindingValueKind::Signed && value.asInt64() >= 0) {
        number = static_cast<std::uint64_t>(value.asInt64());
    }
    if (number && (*number < low || *number > high)) {
        number.reset();
    }
    return number;
}

std::string knownResourceList() {
    std::string list;
    for (const KnownResource& r : kResources) {
        list += list.empty() ? "" : ", ";
        list += r.path;
    }
    return list;
}

// A failure at the value of path.
struct Failure {
    std::vector<ValuePathStep> path;
    std::string what;
};

class Reader {
public:
    Reader(Scenario& out, const ModuleTypes& types) : out_(out), types_(types) {}

    std::optional<Failure> read(const BindingValue& root) {
        if (root.kind() != BindingValueKind::Structure) {
            return Failure{{},
                           "the scenario must be a mapping with 'active' and 'implementations'"};
        }
        for (const BindingMember& member : root.members()) {
            if (member.key() != "active" && member.key() != "implementations" &&
                member.key() != "shared" && member.key() != "flow") {
                return Failure{{std::string(member.key())},
                               "unknown key '" + std::string(member.key()) +
                                   "' (expected 'active', 'implementations', 'flow' or 'shared')"};
            }
        }
        if (const BindingValue* flow = root.tryFind("flow")) {
            if (auto failure = readFlow(*flow)) {
                return failure;
            }
        }
        const BindingValue& active = root.find("active");
        if (active.kind() == BindingValueKind::String) {
            out_.active = implementationNamed(active.asString());
        }
        if (active.kind() != BindingValueKind::Empty && !out_.active) {
            return Failure{{"active"}, "'active' must be legacy, team-builder or null"};
        }
        const BindingValue& implementations = root.find("implementations");
        if (implementations.kind() == BindingValueKind::Empty) {
            return std::nullopt;
        }
        if (implementations.kind() != BindingValueKind::Structure) {
            return Failure{{"implementations"}, "'implementations' must be a mapping"};
        }
        for (const BindingMember& member : implementations.members()) {
            const std::optional<Implementation> which = implementationNamed(member.key());
            if (!which) {
                return Failure{{"implementations", std::string(member.key())},
                               "unknown implementation '" + std::string(member.key()) +
                                   "' (expected legacy or team-builder)"};
            }
            if (auto failure = readImplementation(member.value(), std::string(member.key()),
                                                  out_.implementations[static_cast<int>(*which)])) {
                return failure;
            }
        }
        return std::nullopt;
    }

private:
    std::optional<Failure> readFlow(const BindingValue& value) {
        FlowSettings flow;
        std::vector<ValuePathStep> at{"flow"};
        if (std::string what = readFlowSettings(value, flow, at); !what.empty()) {
            return Failure{at, what};
        }
        for (const TimelineEntry& entry : flow.timeline) {
            if (entry.kind == TimelineEntry::Kind::Set && !isKnownResource(entry.path)) {
                return Failure{
                    {"flow", "timeline", entry.index, "set", "path"},
                    "unknown resource '" + entry.path + "' (known: " + knownResourceList() + ")"};
            }
            if (entry.kind == TimelineEntry::Kind::Fail) {
                ScriptedAnswer answer;
                answer.method = entry.method;
                answer.url = entry.path;
                if (std::string what = checkAnswerUrl(answer, types_); !what.empty()) {
                    return Failure{{"flow", "timeline", entry.index, "fail", "url"}, what};
                }
            }
        }
        out_.flow = std::move(flow);
        return std::nullopt;
    }

    std::optional<Failure> readImplementation(const BindingValue& value, const std::string& name,
                                              ImplementationState& state) {
        const std::vector<ValuePathStep> at{"implementations", name};
        if (value.kind() == BindingValueKind::Empty) {
            return std::nullopt;
        }
        if (value.kind() != BindingValueKind::Structure) {
            return Failure{at,
                           "an implementation must be a mapping with 'resources' and 'answers'"};
        }
        for (const BindingMember& member : value.members()) {
            if (member.key() != "resources" && member.key() != "answers") {
                return Failure{{"implementations", name, std::string(member.key())},
                               "unknown key '" + std::string(member.key()) +
                                   "' (expected 'resources' or 'answers')"};
            }
        }
        const BindingValue& resources = value.find("resources");
        if (resources.kind() != BindingValueKind::Empty &&
            resources.kind() != BindingValueKind::Structure) {
            return Failure{{"implementations", name, "resources"},
                           "'resources' must be a mapping from path to value"};
        }
        for (const BindingMember& member : resources.members()) {
            const std::string path(member.key());
            std::vector<ValuePathStep> where{"implementations", name, "resources", path};
            if (std::string what = checkResource(path, member.value()); !what.empty()) {
                return Failure{where, what};
            }
            std::vector<TypeMismatch> unknown;
            if (std::optional<TypeMismatch> mismatch =
                    types_.checkResource(path, member.value(), &unknown)) {
                where.insert(where.end(), mismatch->at.begin(), mismatch->at.end());
                return Failure{where, "resource '" + path + "': " + mismatch->what};
            }
            for (TypeMismatch& key : unknown) {
                std::vector<ValuePathStep> noted = where;
                noted.insert(noted.end(), key.at.begin(), key.at.end());
                notes_.push_back({std::move(noted), "resource '" + path + "': " + key.what});
            }
            if (out_.flow) {
                if (auto failure = checkFlowValues(path, member.value(), where)) {
                    return failure;
                }
            }
            state.resources[path] = member.value();
        }
        const BindingValue& answers = value.find("answers");
        if (answers.kind() != BindingValueKind::Empty &&
            answers.kind() != BindingValueKind::Collection) {
            return Failure{{"implementations", name, "answers"}, "'answers' must be a list"};
        }
        std::size_t index = 0;
        for (const BindingValue& element : answers.elements()) {
            ScriptedAnswer answer;
            std::string member;
            if (std::string what = readScriptedAnswer(element, answer, &member); !what.empty()) {
                std::vector<ValuePathStep> where{"implementations", name, "answers", index};
                if (!member.empty()) {
                    where.emplace_back(member);
                }
                return Failure{where, what};
            }
            if (std::string what = checkAnswerUrl(answer, types_); !what.empty()) {
                return Failure{{"implementations", name, "answers", index, "url"}, what};
            }
            state.answers.push_back(std::move(answer));
            ++index;
        }
        return std::nullopt;
    }

    // What a flow reads of a session: a phase it plays and actions it knows.
    static std::optional<Failure> checkFlowValues(const std::string& path,
                                                  const BindingValue& value,
                                                  std::vector<ValuePathStep> where) {
        if (path != "v1/session") {
            return std::nullopt;
        }
        static constexpr std::string_view kPhases[] = {"PLANNING", "BAN_PICK", "FINALIZATION",
                                                       "GAME_STARTING"};
        const BindingValue& phase = value.find("timer").find("phase");
        if (phase.kind() != BindingValueKind::Empty &&
            std::find(std::begin(kPhases), std::end(kPhases), phase.asString()) ==
                std::end(kPhases)) {
            where.insert(where.end(), {std::string("timer"), std::string("phase")});
            return Failure{where,
                           "a flow plays the phases PLANNING, BAN_PICK, FINALIZATION and "
                           "GAME_STARTING, not " +
                               writeJson(phase)};
        }
        std::size_t turnIndex = 0;
        for (const BindingValue& turn : value.find("actions").elements()) {
            std::size_t index = 0;
            for (const BindingValue& action : turn.elements()) {
                const std::string_view type = action.find("type").asString();
                if (type != "ban" && type != "pick") {
                    where.insert(where.end(),
                                 {std::string("actions"), turnIndex, index, std::string("type")});
                    return Failure{where, "a flow plays actions of type ban or pick, not " +
                                              writeJson(action.find("type"))};
                }
                ++index;
            }
            ++turnIndex;
        }
        return std::nullopt;
    }

public:
    // Keys the module would ignore, for warnings.
    std::vector<Failure> notes_;

private:
    Scenario& out_;
    const ModuleTypes& types_;
};

// "... At line: N col: M" of the YAML reader's own messages: N, or 0. Its
// parser errors print libyaml's 0-based mark; YamlLines has those.
std::size_t readerLine(std::string_view message) {
    constexpr std::string_view kAt = "At line: ";
    const std::size_t at = message.rfind(kAt);
    if (at == std::string_view::npos) {
        return 0;
    }
    std::size_t line = 0;
    for (std::size_t i = at + kAt.size();
         i < message.size() && message[i] >= '0' && message[i] <= '9'; ++i) {
        line = line * 10 + static_cast<std::size_t>(message[i] - '0');
    }
    return line;
}

}  // namespace

bool isKnownResource(std::string_view path) {
    for (const KnownResource& r : kResources) {
        if (r.path == path) {
            return true;
        }
    }
    return false;
}

std::string checkResource(std::string_view path, const BindingValue& value) {
    for (const KnownResource& r : kResources) {
        if (r.path != path) {
            continue;
        }
        if (value.kind() != r.kind) {
            return "resource '" + std::string(path) + "' must be a " +
                   (r.kind == BindingValueKind::Structure ? "mapping" : "list");
        }
        return {};
    }
    return "unknown resource '" + std::string(path) + "' (known: " + knownResourceList() + ")";
}

std::string readScriptedAnswer(const BindingValue& value, ScriptedAnswer& out,
                               std::string* faulty) {
    // Of the members that came later, the one at fault; the older ones are
    // reported at the answer.
    const auto at = [faulty](std::string_view key, std::string what) {
        if (faulty != nullptr) {
            *faulty = key;
        }
        return what;
    };
    if (value.kind() != BindingValueKind::Structure) {
        return "an answer must be a mapping with method, url and value or status and message";
    }
    for (const BindingMember& member : value.members()) {
        const std::string_view key = member.key();
        if (key != "method" && key != "url" && key != "value" && key != "status" &&
            key != "message" && key != "times" && key != "delayMs" && key != "hang") {
            return "unknown key '" + std::string(key) +
                   "' in an answer (expected method, url, value, status, message, times, "
                   "delayMs, hang)";
        }
    }
    out.method = value.find("method").asString();
    bool knownMethod = false;
    for (const std::string_view method : kMethods) {
        knownMethod = knownMethod || method == out.method;
    }
    if (!knownMethod) {
        return "an answer's method must be GET, POST, PUT, PATCH or DELETE";
    }
    out.url = value.find("url").asString();
    if (out.url.empty() || out.url.front() == '/') {
        return "an answer's url must be relative to the implementation, like v1/session";
    }
    if (const BindingValue* times = value.tryFind("times")) {
        const std::optional<std::uint64_t> count = wholeNumber(*times, 1, UINT32_MAX);
        if (!count) {
            return at("times", "an answer's times must be a number of requests, 1 or more");
        }
        out.times = static_cast<std::uint32_t>(*count);
    }
    if (const BindingValue* delay = value.tryFind("delayMs")) {
        const std::optional<std::uint64_t> ms = wholeNumber(*delay, 0, kMaxAnswerDelayMs);
        if (!ms) {
            return at("delayMs", "an answer's delayMs must be a number of milliseconds from 0 to " +
                                     std::to_string(kMaxAnswerDelayMs));
        }
        out.delayMs = static_cast<std::uint32_t>(*ms);
    }
    if (const BindingValue* hang = value.tryFind("hang")) {
        if (hang->kind() != BindingValueKind::Bool) {
            return at("hang", "an answer's hang must be true or false");
        }
        out.hang = hang->asBool();
    }
    const BindingValue* status = value.tryFind("status");
    if (out.hang && (status != nullptr || value.tryFind("value") != nullptr ||
                     value.tryFind("delayMs") != nullptr)) {
        return at("hang", "an answer that hangs has no value, status or delayMs");
    }
    if (status != nullptr && value.tryFind("value") != nullptr) {
        return "an answer has either a value or a status with a message, not both";
    }
    if (status != nullptr && status->kind() == BindingValueKind::String) {
        return "an answer's status must be a number, an error status from 400 to 599, not the "
               "text " +
               writeJson(*status);
    }
    if (status != nullptr) {
        std::uint64_t code = status->asUInt64();
        if (status->kind() == BindingValueKind::Signed && status->asInt64() > 0) {
            code = static_cast<std::uint64_t>(status->asInt64());
        }
        if (code < 400 || code > 599) {
            return "an answer's status must be an error status from 400 to 599";
        }
        out.status = static_cast<std::uint32_t>(code);
        out.message = value.find("message").asString();
        if (out.message.empty()) {
            out.message = "Scripted error";
        }
    } else {
        out.value = value.find("value");
        out.simulated = value.tryFind("value") == nullptr && value.tryFind("delayMs") != nullptr;
    }
    return {};
}

std::string checkAnswerUrl(const ScriptedAnswer& answer, const ModuleTypes& types) {
    if (types.requests(answer.url)) {
        return {};
    }
    return "the module never requests '" + answer.url +
           "'; it requests, relative to the implementation: " + types.requestedList();
}

bool parseScenario(std::string_view text, std::string_view file, const ModuleTypes& types,
                   Scenario& out, std::string& error) {
    YamlLines lines;
    const auto fail = [&](std::size_t line, const std::string& what) {
        error = std::string(file) + ":" + std::to_string(line) + ": " + what;
        return false;
    };
    BindingResult parsed = readYaml(text, YamlReadOptions{&lines});
    if (!parsed) {
        const std::size_t line =
            lines.failureLine() != 0 ? lines.failureLine() : readerLine(parsed.error());
        return fail(line, std::string(parsed.error()));
    }
    // The reader merges a repeated key's values; in a scenario it is a slip.
    if (const auto& repeated = lines.repeatedKey()) {
        return fail(repeated->line, "the key '" + repeated->key +
                                        "' is given twice (first on line " +
                                        std::to_string(repeated->firstLine) + ")");
    }
    Scenario scenario;
    Reader reader(scenario, types);
    if (const std::optional<Failure> failure = reader.read(parsed.value)) {
        return fail(lines.lineOf(failure->path), failure->what);
    }
    for (const Failure& note : reader.notes_) {
        scenario.warnings.push_back(std::string(file) + ":" +
                                    std::to_string(lines.lineOf(note.path)) + ": " + note.what);
    }
    out = std::move(scenario);
    return true;
}

bool loadScenario(const std::string& path, const ModuleTypes& types, Scenario& out,
                  std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot read the scenario file";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseScenario(text.str(), path, types, out, error);
}

}  // namespace tav::devhost

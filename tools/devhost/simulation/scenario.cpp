#include "simulation/scenario.h"

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
                member.key() != "shared") {
                return Failure{{std::string(member.key())},
                               "unknown key '" + std::string(member.key()) +
                                   "' (expected 'active', 'implementations' or 'shared')"};
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
    std::optional<Failure> readImplementation(const BindingValue& value, const std::string& name,
                                              ImplementationState& state) const {
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
            if (std::optional<TypeMismatch> mismatch = types_.checkResource(path, member.value())) {
                where.insert(where.end(), mismatch->at.begin(), mismatch->at.end());
                return Failure{where, "resource '" + path + "': " + mismatch->what};
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

std::string_view implementationName(Implementation implementation) {
    return implementation == Implementation::Legacy ? "legacy" : "team-builder";
}

std::optional<Implementation> implementationNamed(std::string_view name) {
    if (name == "legacy") {
        return Implementation::Legacy;
    }
    if (name == "team-builder") {
        return Implementation::TeamBuilder;
    }
    return std::nullopt;
}

std::string_view implementationBase(Implementation implementation) {
    return implementation == Implementation::Legacy ? "/tav-champ-select-legacy/"
                                                    : "/tav-lobby-team-builder/champ-select/";
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
    if (const std::optional<Failure> failure = Reader(scenario, types).read(parsed.value)) {
        return fail(lines.lineOf(failure->path), failure->what);
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

#include "options.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "server/origin_policy.h"
#include "server/security.h"
#include "tool_platform/executable_path.h"

namespace tav::devhost {

const char* usageText() {
    return "usage: tav-devhost [--port N] [--scenario FILE] [--module FILE]\n"
           "                   [--allow-origin ORIGIN]... [--record TRACE] [--watch] [--paused]\n"
           "                   [--token TOKEN] [--ready-file FILE] [--hang-limit SECONDS]\n"
           "       tav-devhost --replay TRACE [--module FILE] [--compare-logs]\n"
           "                   [--max-differences N] [--call-limit SECONDS]\n"
           "\n"
           "Runs the champ-select module under a development host on 127.0.0.1: the\n"
           "module's API, its event stream (/events), its OpenAPI and AsyncAPI\n"
           "documents (/openapi.json, /asyncapi.json) and a session page (/). The\n"
           "two champ-select implementations are simulated from the scenario file.\n"
           "\n"
           "  --port N         port to listen on; 0 (the default) picks a free one\n"
           "  --scenario FILE  the scenario (YAML); default: the demo, scenarios/demo.yaml\n"
           "                   beside the tool, else in the source tree it was built from\n"
           "  --module FILE    the module to load; default: the one beside the tool, else\n"
           "                   the one its build made\n"
           "  --allow-origin ORIGIN\n"
           "                   let pages of ORIGIN (e.g. http://localhost:5173, a front-end\n"
           "                   dev server) use the API, the event stream and the documents\n"
           "                   from the browser; repeatable. /_dev/ stays this server's own\n"
           "  --watch          reload the module when its file changes (a new build):\n"
           "                   the new one is initialised beside the old, which serves\n"
           "                   until then and goes on serving if the new one fails; the\n"
           "                   session and the event streams stay\n"
           "  --paused         start with the tool clock paused: the session's timer and\n"
           "                   a scenario's flow move only by POST /_dev/clock\n"
           "                   {\"advanceMs\": N}, so a test sees the same on every run\n"
           "  --token TOKEN    the control routes' token instead of a random one (for a\n"
           "                   test runner): at least 16 letters, digits, '-', '.', '_'\n"
           "                   or '~'\n"
           "  --ready-file FILE\n"
           "                   once serving, write the page's URL (the start line's) to\n"
           "                   FILE, whole at once; removed when the tool stops\n"
           "  --hang-limit SECONDS\n"
           "                   how long a request scripted to hang waits for its 504 (30)\n"
           "  --record TRACE   write every crossing of the module's boundary to TRACE\n"
           "                   (JSON Lines, one entry a line, flushed as written)\n"
           "  --replay TRACE   no server: feed the recorded requests, events and answers\n"
           "                   to the module and compare what it does with the trace;\n"
           "                   exit 0 when all matched, 1 on differences, 2 for a trace\n"
           "                   that cannot be read\n"
           "  --compare-logs   with --replay, compare the module's log lines as well\n"
           "  --max-differences N\n"
           "                   with --replay, how many differences to print (10)\n"
           "  --call-limit SECONDS\n"
           "                   with --replay, how long one call into the module may take\n"
           "                   before it counts as hung (10)\n"
           "  --help           this text\n"
           "\n"
           "The start line on stderr gives the page's URL with the run's token, which\n"
           "the control routes under /_dev/ require. Pages of other origins are\n"
           "refused unless allowed. SIGINT or SIGTERM stop it.\n";
}

namespace {

// The whole of text as a number from low to high.
std::optional<unsigned> numberIn(std::string_view text, unsigned low, unsigned high) {
    unsigned number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size() || number < low || number > high) {
        return std::nullopt;
    }
    return number;
}

// A file the command line did not name is looked for relative to the tool's
// own folder: beside it, as the release lays it out, then where its build
// tree keeps it (not in a release).
#ifdef TAV_DEVHOST_BUILT_MODULE
constexpr const char* kBuiltModule = TAV_DEVHOST_BUILT_MODULE;
constexpr const char* kSourceScenario = TAV_DEVHOST_SOURCE_SCENARIO;
#else
constexpr const char* kBuiltModule = "";
constexpr const char* kSourceScenario = "";
#endif

// A token travels in a URL's query and in a header as it is.
bool urlSafe(std::string_view text) {
    return onlyCharacters(text, "-._~");
}

bool absolute(std::string_view path) {
    return path.starts_with('/') || path.starts_with('\\') || (path.size() > 1 && path[1] == ':');
}

// folder (ending in a separator) joined with relative, each leading "../"
// taking a name off the folder, so that the paths tried read plainly.
std::string joined(std::string folder, std::string_view relative) {
    if (absolute(relative)) {
        folder.clear();
    }
    while (relative.starts_with("../") && folder.size() > 1) {
        const std::size_t slash = folder.find_last_of("/\\", folder.size() - 2);
        if (slash == std::string::npos) {
            break;
        }
        folder.resize(slash + 1);
        relative.remove_prefix(3);
    }
    std::string path = folder + std::string(relative);
#ifdef _WIN32
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
#endif
    return path;
}

bool readable(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        std::fclose(file);
    }
    return file != nullptr;
}

// The first of the candidates (relative to the tool's folder; empty ones
// skipped) that can be read, or empty with every path tried in error.
std::string findDefault(std::initializer_list<std::string_view> candidates, const char* what,
                        const char* option, std::string& error) {
    const std::string self = tools::executablePath();
    const std::size_t slash = self.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : self.substr(0, slash + 1);
    std::string tried;
    for (const std::string_view candidate : candidates) {
        if (candidate.empty()) {
            continue;
        }
        const std::string path = joined(folder, candidate);
        if (readable(path)) {
            return path;
        }
        tried += (tried.empty() ? "" : ", ") + path;
    }
    error = std::string("no ") + what + " named and none at " + tried + "; name one with " + option;
    return {};
}

}  // namespace

std::optional<Options> parseOptions(int argc, char** argv, std::string& error) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        std::string_view value;
        std::string_view name = arg;
        if (const std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        } else if (arg == "--port" || arg == "--scenario" || arg == "--module" ||
                   arg == "--allow-origin" || arg == "--record" || arg == "--replay" ||
                   arg == "--max-differences" || arg == "--call-limit" || arg == "--token" ||
                   arg == "--ready-file" || arg == "--hang-limit") {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return std::nullopt;
            }
            value = argv[++i];
        }
        if (name == "--port") {
            const std::optional<unsigned> port = numberIn(value, 0, 65535);
            if (!port) {
                error = "--port needs a number from 0 to 65535";
                return std::nullopt;
            }
            options.port = static_cast<std::uint16_t>(*port);
        } else if (name == "--max-differences" || name == "--call-limit" ||
                   name == "--hang-limit") {
            const std::optional<unsigned> count = numberIn(value, 1, UINT_MAX);
            if (!count) {
                error = std::string(name) + " needs a number above 0";
                return std::nullopt;
            }
            if (name == "--call-limit") {
                options.callLimitSeconds = *count;
            } else if (name == "--hang-limit") {
                options.hangLimitSeconds = *count;
            } else {
                options.maxDifferences = *count;
            }
        } else if (name == "--compare-logs") {
            options.compareLogs = true;
        } else if (name == "--watch") {
            options.watch = true;
        } else if (name == "--paused") {
            options.paused = true;
        } else if (name == "--token") {
            if (value.size() < kMinTokenLength || !urlSafe(value)) {
                error = "--token needs at least " + std::to_string(kMinTokenLength) +
                        " characters, each a letter, a digit, '-', '.', '_' or '~'";
                return std::nullopt;
            }
            options.token = value;
        } else if (name == "--ready-file") {
            options.readyFile = value;
        } else if (name == "--record") {
            options.record = value;
        } else if (name == "--replay") {
            options.replay = value;
        } else if (name == "--scenario") {
            options.scenario = value;
        } else if (name == "--module") {
            options.module = value;
        } else if (name == "--allow-origin") {
            const std::optional<std::string> origin = normaliseOrigin(value);
            if (!origin) {
                error = "--allow-origin needs an origin such as http://localhost:5173, not \"" +
                        std::string(value) + "\"";
                return std::nullopt;
            }
            options.allowedOrigins.push_back(*origin);
        } else {
            error = "unknown option " + std::string(arg);
            return std::nullopt;
        }
        if ((name == "--scenario" || name == "--module" || name == "--record" ||
             name == "--replay" || name == "--ready-file") &&
            value.empty()) {
            error = std::string(name) + " needs a value";
            return std::nullopt;
        }
    }
    if (!options.replay.empty() && (!options.record.empty() || options.watch)) {
        error = std::string("--replay and ") + (options.watch ? "--watch" : "--record") +
                " do not go together";
        return std::nullopt;
    }
    if (options.help) {
        return options;
    }
    // A replay reads no scenario: the trace holds what the implementations did.
    if (options.module.empty()) {
        options.module =
            findDefault({TAV_DEVHOST_MODULE_NAME, kBuiltModule}, "module", "--module", error);
    }
    if (options.scenario.empty() && options.replay.empty() && !options.module.empty()) {
        options.scenario =
            findDefault({"scenarios/demo.yaml", kSourceScenario}, "scenario", "--scenario", error);
    }
    if (options.module.empty() || (options.scenario.empty() && options.replay.empty())) {
        return std::nullopt;
    }
    return options;
}

}  // namespace tav::devhost

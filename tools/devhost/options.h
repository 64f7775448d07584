// The command line of tav-devhost.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tav::devhost {

struct Options {
    std::uint16_t port = 0;  // 0: an ephemeral port chosen by the system
    std::string scenario;
    std::string module;
    std::vector<std::string> allowedOrigins;  // normalised
    std::string token;                        // of the control routes; empty: a random one
    std::string readyFile;                    // gets the page's URL once serving, if given
    unsigned hangLimitSeconds = 30;           // a request scripted to hang is answered 504 then
    std::string record;                       // trace file to write, if any
    std::string replay;                       // trace file to replay (no HTTP)
    bool watch = false;                       // reload the module when its file changes
    bool paused = false;                      // the tool clock starts paused
    bool compareLogs = false;
    std::size_t maxDifferences = 10;
    unsigned callLimitSeconds = 10;  // a replayed call that takes longer hangs
    bool help = false;
};

// The least length of a --token.
inline constexpr std::size_t kMinTokenLength = 16;

// The options, or nullopt with the reason in error for wrong usage.
std::optional<Options> parseOptions(int argc, char** argv, std::string& error);

// The text --help prints.
const char* usageText();

}  // namespace tav::devhost

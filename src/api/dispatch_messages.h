// Every message the dispatcher answers with, in one place, so that a test can
// compare them word for word. Placeholders are filled by makeMessage.
#pragma once

namespace tav::messages {

inline constexpr const char* kInvalidFunction = "Invalid function";
inline constexpr const char* kUnknownArgument = "Unknown argument '%1' for '%2'.";
inline constexpr const char* kInvalidLocation =
    "Argument '%1' for '%2' was specified in an invalid location.";
inline constexpr const char* kExpectedValue = "Expected value for argument '%1'.";
inline constexpr const char* kIndexFormat = "Index %1 is in an incorrect format";
inline constexpr const char* kIndexRange = "Index %1 is out of range";
inline constexpr const char* kMessagePackArgument =
    "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
inline constexpr const char* kJsonArgument =
    "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
inline constexpr const char* kYamlArgument =
    "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
// Not a message of the dispatch rules: what a request that escaped with an
// exception is answered with.
inline constexpr const char* kInternalError = "Internal error";

}  // namespace tav::messages

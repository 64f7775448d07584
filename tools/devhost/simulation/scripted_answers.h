// The bookkeeping of scripted answers: which one answers a request (one
// with times left loses one, and goes with its last), what the API answer
// the request was made for must wait for, and how the answers are listed
// and removed.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binding/binding_value.h"
#include "simulation/scenario.h"

namespace tav::devhost {

// What the scripted answers given during one API request ask of its answer.
struct AnswerHold {
    std::chrono::milliseconds delay{0};  // the longest delay scripted
    // "GET v1/session of the legacy implementation" when an answer was
    // scripted to hang; empty otherwise.
    std::string hung;
};

// The answer among answers for method on url (relative, with its query;
// path is url without it), counted as used; nullopt when none is scripted.
std::optional<ScriptedAnswer> takeScriptedAnswer(std::vector<ScriptedAnswer>& answers,
                                                 std::string_view method, std::string_view url,
                                                 std::string_view path);

// Removes those of method and url (as scripted); how many went.
std::size_t removeScriptedAnswers(std::vector<ScriptedAnswer>& answers, std::string_view method,
                                  std::string_view url);

// As it is scripted: {method, url, value or status and message}, with
// times (those left), delayMs and hang when set.
BindingValue describeScriptedAnswer(const ScriptedAnswer& answer);

}  // namespace tav::devhost

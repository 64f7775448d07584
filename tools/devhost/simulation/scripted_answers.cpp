#include "simulation/scripted_answers.h"

#include <algorithm>

namespace tav::devhost {

std::optional<ScriptedAnswer> takeScriptedAnswer(std::vector<ScriptedAnswer>& answers,
                                                 std::string_view method, std::string_view url,
                                                 std::string_view path) {
    const auto scripted =
        std::find_if(answers.begin(), answers.end(), [&](const ScriptedAnswer& a) {
            return a.method == method && (a.url == url || a.url == path);
        });
    if (scripted == answers.end()) {
        return std::nullopt;
    }
    if (!scripted->times) {
        return *scripted;
    }
    ScriptedAnswer taken = *scripted;
    if (--*scripted->times == 0) {
        answers.erase(scripted);
    }
    return taken;
}

std::size_t removeScriptedAnswers(std::vector<ScriptedAnswer>& answers, std::string_view method,
                                  std::string_view url) {
    return std::erase_if(
        answers, [&](const ScriptedAnswer& a) { return a.method == method && a.url == url; });
}

BindingValue describeScriptedAnswer(const ScriptedAnswer& answer) {
    BindingValue entry;
    entry.member("method").setString(answer.method);
    entry.member("url").setString(answer.url);
    if (answer.status) {
        entry.member("status").setUInt32(*answer.status);
        entry.member("message").setString(answer.message);
    } else if (!answer.hang && !answer.simulated) {
        entry.member("value") = answer.value;
    }
    if (answer.times) {
        entry.member("times").setUInt32(*answer.times);
    }
    if (answer.delayMs != 0) {
        entry.member("delayMs").setUInt32(answer.delayMs);
    }
    if (answer.hang) {
        entry.member("hang").setBool(true);
    }
    return entry;
}

}  // namespace tav::devhost

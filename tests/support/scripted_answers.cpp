#include "scripted_answers.h"

#include <cstring>

#include "binding/host_value.h"

namespace tav::testing {
namespace {

// The one instance answering at a time; release has no other way back.
ScriptedAnswers* gCurrent = nullptr;

}  // namespace

struct ScriptedAnswers::Script {
    bool isError = false;
    BindingValue value;
    std::uint32_t status = 0;
    std::string text;
};

struct ScriptedAnswers::Live {
    HostValueRecord record;
    std::string errorText;
};

ScriptedAnswers::ScriptedAnswers(FakeHost& host) {
    gCurrent = this;
    host.answer = [this](TavResponse& response, const RecordedRequest& request) {
        answer(response, request);
    };
}

ScriptedAnswers::~ScriptedAnswers() {
    if (gCurrent == this) {
        gCurrent = nullptr;
    }
}

void ScriptedAnswers::value(const std::string& url, const BindingValue& answer) {
    auto script = std::make_shared<Script>();
    script->value = answer;
    scripts_[url] = std::move(script);
}

void ScriptedAnswers::error(const std::string& url, std::uint32_t status, const std::string& text) {
    auto script = std::make_shared<Script>();
    script->isError = true;
    script->status = status;
    script->text = text;
    scripts_[url] = std::move(script);
}

void ScriptedAnswers::answer(TavResponse& response, const RecordedRequest& request) {
    auto live = std::make_unique<Live>();
    response.release = &ScriptedAnswers::release;
    const auto found = scripts_.find(request.url);
    if (found == scripts_.end()) {
        live->errorText = "Not Found";
        response.status = 404;
    } else if (const Script& script = *found->second; script.isError) {
        live->errorText = script.text;
        response.status = script.status;
    } else {
        (void)valueToHost(nullptr, live->record, script.value);
        response.value = live->record.root();
        response.status = 200;
    }
    if (response.status >= 400) {
        response.errorText = live->errorText.c_str();
        response.isError = 1;
    }
    live_[&response] = std::move(live);
}

void TAV_ABI ScriptedAnswers::release(TavResponse* response) {
    if (gCurrent != nullptr) {
        gCurrent->live_.erase(response);
    }
    std::memset(response, 0, sizeof *response);
}

}  // namespace tav::testing

#include "scripted_answers.h"

#include <algorithm>
#include <cstring>

#include "binding/host_value.h"

namespace tav::testing {
namespace {

// The one instance answering at a time; release has no other way back.
ScriptedAnswers* gCurrent = nullptr;

}  // namespace

struct ScriptedAnswers::Script {
    enum class Kind { Value, Error, Stream } kind = Kind::Value;
    BindingValue value;
    std::uint32_t status = 0;
    std::string text;
    std::vector<std::uint32_t> chunks;
    int failAt = -1;
    std::uint32_t lengthHint = 0;
};

struct ScriptedAnswers::Stream {
    ScriptedAnswers* owner;
    std::shared_ptr<Script> script;
    std::size_t position = 0;
    int reads = 0;
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
    script->kind = Script::Kind::Error;
    script->status = status;
    script->text = text;
    scripts_[url] = std::move(script);
}

void ScriptedAnswers::stream(const std::string& url, const std::string& text,
                             std::vector<std::uint32_t> chunks, int failAt,
                             std::uint32_t lengthHint) {
    auto script = std::make_shared<Script>();
    script->kind = Script::Kind::Stream;
    script->text = text;
    script->chunks = chunks.empty() ? std::vector<std::uint32_t>{4096} : std::move(chunks);
    script->failAt = failAt;
    script->lengthHint = lengthHint;
    scripts_[url] = std::move(script);
}

void ScriptedAnswers::remove(const std::string& url) {
    scripts_.erase(url);
}

void ScriptedAnswers::answer(TavResponse& response, const RecordedRequest& request) {
    auto live = std::make_unique<Live>();
    response.release = &ScriptedAnswers::release;
    const auto found = scripts_.find(request.url);
    if (found == scripts_.end()) {
        live->errorText = "Not Found";
        response.status = 404;
    } else {
        const Script& script = *found->second;
        switch (script.kind) {
            case Script::Kind::Value:
                (void)valueToHost(nullptr, live->record, script.value);
                response.value = live->record.root();
                response.status = 200;
                break;
            case Script::Kind::Error:
                live->errorText = script.text;
                response.status = script.status;
                break;
            case Script::Kind::Stream:
                response.status = 200;
                response.stream = new Stream{this, found->second};
                response.streamRead = &ScriptedAnswers::read;
                response.streamClose = &ScriptedAnswers::close;
                response.streamLengthHint = script.lengthHint;
                break;
        }
    }
    if (response.status >= 400) {
        response.errorText = live->errorText.c_str();
        response.isError = 1;
    }
    live_[&response] = std::move(live);
}

void TAV_ABI ScriptedAnswers::release(TavResponse* response) {
    if (gCurrent != nullptr) {
        ++gCurrent->releases_;
        gCurrent->live_.erase(response);
    }
    std::memset(response, 0, sizeof *response);
}

std::uint8_t TAV_ABI ScriptedAnswers::read(void* handle, std::uint8_t* buffer, std::uint32_t* count,
                                           std::uint8_t* more) {
    auto& s = *static_cast<Stream*>(handle);
    const Script& script = *s.script;
    const int index = s.reads++;
    if (index == script.failAt) {
        return 0;
    }
    const std::uint32_t chunk = script.chunks[std::min<std::size_t>(static_cast<std::size_t>(index),
                                                                    script.chunks.size() - 1)];
    const std::size_t left = script.text.size() - s.position;
    const std::size_t n = std::min<std::size_t>({left, chunk, *count});
    std::memcpy(buffer, script.text.data() + s.position, n);
    s.position += n;
    *count = static_cast<std::uint32_t>(n);
    *more = s.position < script.text.size() ? 1 : 0;
    return 1;
}

void TAV_ABI ScriptedAnswers::close(void* handle) {
    auto* s = static_cast<Stream*>(handle);
    ++s->owner->closes_;
    delete s;
}

}  // namespace tav::testing

// Scripted fake plugins behind a FakeHost: answers by URL with a value or an
// error, each answer held until its release function runs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <tav/plugin_abi.h>

#include "binding/binding_value.h"
#include "fake_host.h"

namespace tav::testing {

class ScriptedAnswers {
public:
    // Routes host's requests to the scripts below; unknown URLs get a 404.
    explicit ScriptedAnswers(FakeHost& host);
    ~ScriptedAnswers();
    ScriptedAnswers(const ScriptedAnswers&) = delete;
    ScriptedAnswers& operator=(const ScriptedAnswers&) = delete;

    void value(const std::string& url, const BindingValue& answer);
    void error(const std::string& url, std::uint32_t status, const std::string& text);

private:
    struct Script;
    struct Live;

    void answer(TavResponse& response, const RecordedRequest& request);
    static void TAV_ABI release(TavResponse* response);

    std::map<std::string, std::shared_ptr<Script>> scripts_;
    std::map<const TavResponse*, std::unique_ptr<Live>> live_;
};

}  // namespace tav::testing

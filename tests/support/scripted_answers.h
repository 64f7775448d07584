// Scripted fake plugins behind a FakeHost: answers by URL with a value, an
// error, or a stream of text delivered in chunks (optionally failing at a
// chunk), each answer carrying a release function that is counted.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
    // Each read returns the next chunk size (the last one repeats); the read
    // numbered failAt (from 0) fails when failAt >= 0.
    void stream(const std::string& url, const std::string& text,
                std::vector<std::uint32_t> chunks = {4096}, int failAt = -1,
                std::uint32_t lengthHint = 0);
    void remove(const std::string& url);

    int releases() const { return releases_; }
    int streamCloses() const { return closes_; }
    // Answers whose release function has not run yet.
    std::size_t outstanding() const { return live_.size(); }

private:
    struct Script;
    struct Live;
    struct Stream;

    void answer(TavResponse& response, const RecordedRequest& request);
    static void TAV_ABI release(TavResponse* response);
    static std::uint8_t TAV_ABI read(void* stream, std::uint8_t* buffer, std::uint32_t* count,
                                     std::uint8_t* more);
    static void TAV_ABI close(void* stream);

    std::map<std::string, std::shared_ptr<Script>> scripts_;
    std::map<const TavResponse*, std::unique_ptr<Live>> live_;
    int releases_ = 0;
    int closes_ = 0;
};

}  // namespace tav::testing

// What a command reports: human-readable lines ("name: text") by default, one
// JSON object with --json. A command adds fields in order and failures end
// it with a Failure, which main() turns into one line on stderr.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>

namespace ctl {

using Json = nlohmann::ordered_json;

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // not connected, or a value refused
inline constexpr int kExitUsage = 2;   // bad arguments: nothing was sent

struct Failure {
    int status;
    std::string message;
};

[[noreturn]] inline void Fail(std::string message) { throw Failure{kExitFailed, std::move(message)}; }

class Output {
public:
    explicit Output(bool json) : json_(json) {}
    bool Json() const { return json_; }

    // `name` is shown as it is; its JSON key has '-' replaced by '_'.
    void Field(const std::string& name, ctl::Json value, const std::string& text);
    // A human-only line (nothing in JSON), flushed at once.
    void Note(const std::string& text);
    // A JSON-only field (nothing in human mode).
    void Value(const std::string& key, ctl::Json value);
    // Prints the collected JSON object (nothing in human mode, whose lines
    // were printed as they came, nor after Stream()).
    void Finish();

    // One JSON line or one human line, printed and flushed at once.
    void Stream(const ctl::Json& value, const std::string& text);

private:
    bool json_;
    bool streamed_ = false;  // lines were streamed: no object at the end
    ctl::Json object_ = ctl::Json::object();
};

}  // namespace ctl

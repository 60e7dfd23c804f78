#include "output.h"

#include <algorithm>
#include <cstdio>

namespace ctl {

void Output::Field(const std::string& name, ctl::Json value, const std::string& text) {
    if (json_) {
        std::string key = name;
        std::replace(key.begin(), key.end(), '-', '_');
        object_[key] = std::move(value);
    } else {
        std::printf("%s: %s\n", name.c_str(), text.c_str());
    }
}

void Output::Note(const std::string& text) {
    if (json_) return;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void Output::Value(const std::string& key, ctl::Json value) {
    if (json_) object_[key] = std::move(value);
}

void Output::Finish() {
    if (json_ && !streamed_) std::printf("%s\n", object_.dump().c_str());
    std::fflush(stdout);
}

void Output::Stream(const ctl::Json& value, const std::string& text) {
    streamed_ = true;
    std::printf("%s\n", json_ ? value.dump().c_str() : text.c_str());
    std::fflush(stdout);
}

}  // namespace ctl

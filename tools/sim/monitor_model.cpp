#include "monitor_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "link/service.h"

namespace sim {
namespace {

constexpr uint32_t kRestoreFactoryDefaults = 0x04;
constexpr uint32_t kMaxListed = 26;  // what one capability reply can carry

bool ParseNumber(const std::string& text, uint32_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (*end != 0 || parsed > 0xFFFFFFFFull || text[0] == '-') return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseList(const std::string& text, std::vector<uint32_t>* values) {
    values->clear();
    if (text == "none") return true;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        uint32_t value = 0;
        if (!ParseNumber(item, &value)) return false;
        values->push_back(value);
    }
    return !values->empty() && values->size() <= kMaxListed;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

}  // namespace

MonitorModel::MonitorModel() {
    const auto continuous = [](uint32_t factory) {
        VcpControl control;
        control.value = control.factory = factory;
        control.maximum = 100;
        return control;
    };
    const auto listed = [](uint32_t factory, std::vector<uint32_t> values) {
        VcpControl control;
        control.value = control.factory = factory;
        control.values = std::move(values);
        control.listed = true;
        return control;
    };
    controls_[0x10] = continuous(75);
    controls_[0x12] = continuous(50);
    controls_[0x16] = continuous(50);
    controls_[0x18] = continuous(50);
    controls_[0x1A] = continuous(50);
    // sRGB, 5000 K, 6500 K, 7500 K, 9300 K, user 1.
    controls_[0x14] = listed(0x05, {0x01, 0x04, 0x05, 0x06, 0x08, 0x0B});
    // DisplayPort 1 and 2, HDMI 1 and 2.
    controls_[0x60] = listed(0x0F, {0x0F, 0x10, 0x11, 0x12});
    controls_[0xDC] = listed(0x00, {0x00, 0x02, 0x03, 0x04, 0x05, 0x0D});
}

bool MonitorModel::Write(uint32_t code, uint32_t value, Changes* changes) {
    if (code == kRestoreFactoryDefaults) {
        if (value != 0) RestoreFactory(changes);
        return true;
    }
    const auto found = controls_.find(code);
    if (found == controls_.end()) return false;
    VcpControl& control = found->second;
    if (control.listed ? std::find(control.values.begin(), control.values.end(), value) == control.values.end()
                       : value > control.maximum)
        return false;
    if (control.value != value) {
        control.value = value;
        changes->emplace_back(code, value);
    }
    return true;
}

void MonitorModel::RestoreFactory(Changes* changes) {
    for (auto& [code, control] : controls_) {
        if (control.value == control.factory) continue;
        control.value = control.factory;
        changes->emplace_back(code, control.value);
    }
}

void MonitorModel::Notify(const Changes& changes) {
    if (!notify_) return;
    for (const auto& [code, value] : changes) notify_(code, value);
}

bool MonitorModel::Answer(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply) {
    const uint32_t code = request.Word(16);
    Changes changes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        switch (request.command) {
            case ORV::kGetVcpValue: {
                const auto found = controls_.find(code);
                if (found == controls_.end()) {
                    reply->result = 0;
                } else {
                    reply->SetWord(20, found->second.value);
                }
                break;
            }
            case ORV::kSetVcpValue:
                if (!Write(code, request.Word(20), &changes)) reply->result = 0;
                break;
            case ORV::kGetVcpCapabilities: {
                const auto found = controls_.find(code);
                const bool known = code == kRestoreFactoryDefaults || found != controls_.end();
                const bool supported = code == kRestoreFactoryDefaults || (known && found->second.supported);
                reply->SetWord(20, supported ? 1 : 0);
                const std::vector<uint32_t> none;
                const std::vector<uint32_t>& values = found != controls_.end() ? found->second.values : none;
                reply->SetWord(24, static_cast<uint32_t>(values.size()));
                for (size_t i = 0; i < values.size() && i < kMaxListed; ++i)
                    reply->SetWord(static_cast<uint32_t>(28 + 4 * i), values[i]);
                break;
            }
            case ORV::kGetModeScheme: reply->SetWord(12, scheme_); break;
            case ORV::kGetModeVariant: reply->SetWord(12, variant_); break;
            default: return false;
        }
    }
    Notify(changes);
    return true;
}

bool MonitorModel::Control(const std::vector<std::string>& args, std::string* reply) {
    if (args.empty()) return false;
    const std::string& command = args[0];
    static const char* const kCommands[] = {"set",    "get",     "caps",          "support",
                                            "scheme", "variant", "factory-reset", "monitor"};
    if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands)) return false;

    uint32_t first = 0;
    uint32_t second = 0;
    const auto numbers = [&](size_t count) {
        if (args.size() != count + 1) return false;
        if (count >= 1 && !ParseNumber(args[1], &first)) return false;
        if (count >= 2 && !ParseNumber(args[2], &second)) return false;
        return true;
    };
    Changes changes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (command == "set") {
            if (!numbers(2)) {
                *reply = "error: usage: set <vcp> <value>";
            } else if (first != kRestoreFactoryDefaults && controls_.count(first) == 0) {
                *reply = "error: unknown VCP code " + Hex(first);
            } else if (!Write(first, second, &changes)) {
                *reply = "error: value " + std::to_string(second) + " not accepted for " + Hex(first);
            } else {
                *reply = "ok";
            }
        } else if (command == "get") {
            const auto found = numbers(1) ? controls_.find(first) : controls_.end();
            *reply = found == controls_.end() ? "error: usage: get <known vcp>"
                                              : Hex(first) + " " + std::to_string(found->second.value);
        } else if (command == "caps") {
            std::vector<uint32_t> values;
            const auto found = args.size() == 3 && ParseNumber(args[1], &first) ? controls_.find(first)
                                                                                 : controls_.end();
            if (found == controls_.end() || !ParseList(args[2], &values)) {
                *reply = "error: usage: caps <known vcp> <v1,v2,...|none> (at most 26 values)";
            } else {
                found->second.values = values;
                found->second.listed = true;
                *reply = "ok";
            }
        } else if (command == "support") {
            const auto found = numbers(2) ? controls_.find(first) : controls_.end();
            if (found == controls_.end() || second > 1) {
                *reply = "error: usage: support <known vcp> <0|1>";
            } else {
                found->second.supported = second == 1;
                *reply = "ok";
            }
        } else if (command == "scheme" || command == "variant") {
            if (!numbers(1)) {
                *reply = "error: usage: " + command + " <n>";
            } else {
                (command == "scheme" ? scheme_ : variant_) = first;
                *reply = "ok";
            }
        } else if (command == "factory-reset") {
            RestoreFactory(&changes);
            *reply = "ok";
        } else {  // monitor
            std::string line;
            for (const auto& [code, control] : controls_)
                line += (line.empty() ? "" : " ") + Hex(code) + "=" + std::to_string(control.value);
            *reply = line + " scheme=" + std::to_string(scheme_) + " variant=" + std::to_string(variant_);
        }
    }
    Notify(changes);
    return true;
}

uint32_t MonitorModel::Value(uint32_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = controls_.find(code);
    return found == controls_.end() ? 0 : found->second.value;
}

uint32_t MonitorModel::ModeScheme() {
    std::lock_guard<std::mutex> lock(mutex_);
    return scheme_;
}

}  // namespace sim

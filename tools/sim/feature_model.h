// The simulated feature services: automatic colour, desktop partition, schedule, power savings, HDR and the feature word.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/record.h"

namespace sim {

class FeatureModel {
public:
    // Fills *reply (already a copy of the request with result 1) for the
    // commands this model serves; false for any other command.
    bool Answer(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply);

    // A command of the simulator's control interface (already split into
    // words, e.g. {"set", "0x12", "70"}). False when the command is not this
    // model's; otherwise *reply holds a one-line answer ("error: ..." on bad
    // arguments).
    bool Control(const std::vector<std::string>& args, std::string* reply);

    // How the model tells the host about a change: posts notification
    // (code, value) to the registered window. Set once, before serving.
    using Notifier = std::function<void(uint32_t code, uint32_t value)>;
    void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }

private:
    std::mutex mutex_;
    Notifier notify_;
};

}  // namespace sim

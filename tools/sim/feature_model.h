// the simulated feature services: automatic colour, desktop partition, schedule, power savings, HDR and the feature word.
#pragma once

#include <mutex>

#include "link/record.h"

namespace sim {

class FeatureModel {
public:
    // Fills *reply (already a copy of the request with result 1) for the
    // commands this model serves; false for any other command.
    bool Answer(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply);

private:
    std::mutex mutex_;
};

}  // namespace sim

#include "feature_model.h"

namespace sim {

bool FeatureModel::Answer(const lmvx::ServiceRecord&, lmvx::ServiceRecord*) { return false; }

bool FeatureModel::Control(const std::vector<std::string>&, std::string*) { return false; }

}  // namespace sim

#include "feature_model.h"

namespace sim {

bool FeatureModel::Answer(const lmvx::ServiceRecord&, lmvx::ServiceRecord*) { return false; }

}  // namespace sim

#include "monitor_model.h"

namespace sim {

bool MonitorModel::Answer(const lmvx::ServiceRecord&, lmvx::ServiceRecord*) { return false; }

}  // namespace sim

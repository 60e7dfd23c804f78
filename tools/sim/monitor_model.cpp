#include "monitor_model.h"

namespace sim {

bool MonitorModel::Answer(const lmvx::ServiceRecord&, lmvx::ServiceRecord*) { return false; }

bool MonitorModel::Control(const std::vector<std::string>&, std::string*) { return false; }

}  // namespace sim

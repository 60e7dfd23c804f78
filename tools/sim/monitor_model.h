// The simulated monitor: VCP values, capabilities and display modes.
//
// Codes served, with their factory values:
//   0x10 luminance 75, 0x12 contrast 50, 0x16/0x18/0x1A red/green/blue gain
//   50 (continuous, 0 to 100); 0x14 colour preset 0x05, 0x60 input source
//   0x0F, 0xDC display application 0x00 (each with a list of accepted
//   values); 0x04 restore factory defaults (write only: a non-zero value puts
//   every code back to its factory value).
// Command 2 reads a value, 3 writes one (refused with result 0 for an unknown
// code, a value above a continuous code's maximum or one missing from a
// code's list), 4 reports the code supported with its list (unknown codes:
// supported 0, no values), 31 the mode scheme (default 1), 35 the mode
// variant (default 0). Every change of a value, by the host or through
// Control(), is reported through the notifier as (code, new value).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/record.h"

namespace sim {

class MonitorModel {
public:
    MonitorModel();

    // Fills *reply (already a copy of the request with result 1) for the
    // commands this model serves; false for any other command.
    bool Answer(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply);

    // A command of the simulator's control interface (already split into
    // words). False when the command is not this model's; otherwise *reply
    // holds a one-line answer ("error: ..." on bad arguments). Numbers may be
    // decimal or 0x-hexadecimal.
    //   set <vcp> <value>        the monitor changes a value (its own buttons)
    //   get <vcp>                the current value
    //   caps <vcp> <v1,v2,...>   the list of accepted values ("none": empty)
    //   support <vcp> <0|1>      whether command 4 reports the code supported
    //   scheme <n>               the answer to command 31
    //   variant <n>              the answer to command 35
    //   factory-reset            every code back to its factory value
    //   monitor                  all codes and values on one line
    bool Control(const std::vector<std::string>& args, std::string* reply);

    // How the model tells the host about a change: posts notification
    // (code, value) to the registered window. Set once, before serving.
    using Notifier = std::function<void(uint32_t code, uint32_t value)>;
    void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }

    // The model's state, for tests and the control interface.
    uint32_t Value(uint32_t code);
    uint32_t ModeScheme();

private:
    struct VcpControl {
        uint32_t value = 0;
        uint32_t factory = 0;
        uint32_t maximum = 0;          // continuous codes: the largest value
        std::vector<uint32_t> values;  // listed codes: the accepted values
        bool listed = false;
        bool supported = true;
    };
    using Changes = std::vector<std::pair<uint32_t, uint32_t>>;

    // Under the lock. False when the code or the value is refused.
    bool Write(uint32_t code, uint32_t value, Changes* changes);
    void RestoreFactory(Changes* changes);
    void Notify(const Changes& changes);

    std::mutex mutex_;
    std::map<uint32_t, VcpControl> controls_;
    uint32_t scheme_ = 1;
    uint32_t variant_ = 0;
    Notifier notify_;
};

}  // namespace sim

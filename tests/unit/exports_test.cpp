// The export table (export_table.h) over the fake seam, with the gate
// opened and closed by the connection state.
#include "export_table.h"
#include "sim_fixture.h"

namespace {

using namespace export_table;

class Exports : public ConnectedService {};

TEST_F(Exports, EachSendsItsRequestAndReadsItsReply) {
    RunTable(Sim(), [](bool open) { lmvx::ConnectionState = open ? lmvx::kConnected : lmvx::kStartFailed; });
}

}  // namespace

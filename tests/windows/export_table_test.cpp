// The unit tests' export table over the real pipe: LMVX.dll against the
// simulator's service in this process, with the real protection; the gate
// is open in a started session and closed after Stop.
#include "unit/export_table.h"

TEST(ExportTable, EachSendsItsRequestAndReadsItsReplyOverThePipe) {
    sim::Simulator sim;
    ASSERT_TRUE(sim.Start());
    export_table::RunTable(sim, [](bool open) {
        if (!open) return Stop(false);
        ASSERT_TRUE(Start());
    });
}

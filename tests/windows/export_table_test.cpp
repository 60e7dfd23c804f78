// The export table of the unit tests over the real pipe: LMVX.dll against
// the simulator's service in this process, with the real protection. The
// gate is open in a started session and closed after Stop.
#include <gtest/gtest.h>

#include "lmvx.h"
#include "simulator.h"
#include "unit/export_table.h"

namespace {

using namespace export_table;

std::vector<ServiceRecord> Sent(const sim::Simulator& sim, uint32_t command) {
    std::vector<ServiceRecord> sent;
    for (const ServiceRecord& record : sim.Requests())
        if (record.command == command) sent.push_back(record);
    return sent;
}

TEST(ExportTable, EachSendsItsRequestAndReadsItsReplyOverThePipe) {
    sim::Simulator sim;
    ASSERT_TRUE(sim.Start());
    ASSERT_TRUE(Start());
    for (const Row& row : kRows) {
        SCOPED_TRACE(&row - kRows);
        const uint32_t command = row.request.command;
        sim.ClearLog();
        sim.Once(command, {.words = row.answer});
        EXPECT_EQ(row.call(), row.answered);
        ASSERT_EQ(Sent(sim, command).size(), 1u);
        EXPECT_TRUE(Same(Sent(sim, command)[0], row.request));
        sim.Once(command, {.setResult = true, .result = 0, .words = row.answer});
        EXPECT_EQ(row.call(), row.refused);
        sim.ClearScripts();
    }
    Stop(false);
    for (const Row& row : kRows) {
        SCOPED_TRACE(&row - kRows);
        sim.ClearLog();
        sim.Once(row.request.command, {.words = row.answer});
        EXPECT_EQ(row.call(), row.closed.value_or(row.answered));
        EXPECT_EQ(sim.RequestCount(), row.closed ? 0u : 1u);
        sim.ClearScripts();
    }
}

}  // namespace

// The export table (export_table.h) over the fake seam, with the gate
// opened and closed by the connection state; and the arguments that are
// never sent.
#include <functional>

#include "export_table.h"
#include "sim_fixture.h"

namespace {

using namespace export_table;

class Exports : public ConnectedService {};

TEST_F(Exports, EachSendsItsRequestAndReadsItsReply) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(&row - kRows);
        const uint32_t command = row.request.command;
        Sim().ClearLog();
        Sim().Once(command, {.words = row.answer});
        EXPECT_EQ(row.call(), row.answered);
        ASSERT_EQ(Sent(command).size(), 1u);
        EXPECT_TRUE(Same(Sent(command)[0], row.request));
        Sim().Once(command, {.setResult = true, .result = 0, .words = row.answer});
        EXPECT_EQ(row.call(), row.refused);
        lmvx::ConnectionState = lmvx::kStartFailed;
        Sim().ClearLog();
        Sim().Once(command, {.words = row.answer});
        EXPECT_EQ(row.call(), row.closed.value_or(row.answered));
        EXPECT_EQ(Sim().RequestCount(), row.closed ? 0u : 1u);
        Sim().ClearScripts();
        lmvx::ConnectionState = lmvx::kConnected;
    }
}

TEST_F(Exports, ArgumentsTheServiceCannotTakeSendNothing) {
    static const std::u16string kLong(100, u'x'), kLongPath(300, u'x');  // no room left for their zero
    static uint32_t t;
    const std::function<void()> calls[] = {
        [] { EnablePolling(0, 1000); }, [] { EnablePolling(6, 1000); }, [] { EnablePolling(-1, 1000); },
        [] { AddAutoColorApp(kLong.c_str(), kPath.c_str()); }, [] { AddAutoColorApp(nullptr, kPath.c_str()); },
        [] { AddAutoColorApp(kName.c_str(), kLongPath.c_str()); }, [] { AddAutoColorApp(kName.c_str(), nullptr); },
        [] { DeleteAutoColorApp(kLong.c_str()); }, [] { DeleteAutoColorApp(nullptr); },
        [] { SetAutoColorAppMode(kLong.c_str(), kMode.c_str()); }, [] { SetAutoColorAppMode(nullptr, kMode.c_str()); },
        [] { SetAutoColorAppMode(kName.c_str(), kLong.c_str()); }, [] { SetAutoColorAppMode(kName.c_str(), nullptr); },
        [] { GetScheduleTime(nullptr, &t, &t, &t); }, [] { GetScheduleTime(&t, nullptr, &t, &t); },
        [] { GetScheduleTime(&t, &t, nullptr, &t); }, [] { GetScheduleTime(&t, &t, &t, nullptr); },
        [] { GetAutoColorTable(nullptr); }, [] { GetDPSupportedScreens(nullptr); },
        [] { getSupportedAutoColorMode(nullptr); }, [] { GetSupportedWhitePoints(nullptr, 4); },
        [] { GetSupportedInputSources(nullptr, 4); }, [] { UpdateData(256); },
    };
    for (const auto& call : calls) {
        call();
        EXPECT_EQ(Sim().RequestCount(), 0u) << &call - calls;
    }
}

}  // namespace

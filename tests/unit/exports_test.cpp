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
    RunTable(Sim(), [](bool open) { lmvx::ConnectionState = open ? lmvx::kConnected : lmvx::kStartFailed; });
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

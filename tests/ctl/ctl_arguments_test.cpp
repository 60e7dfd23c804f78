// Bad arguments: exit status 2, one line on stderr, nothing on stdout, and
// not one request at the service. --help of every command: exit 0, no
// request either.
#include "ctl_fixture.h"

namespace ctltest {
namespace {

struct BadCase {
    const char* name;
    Args args;
    const char* message;  // part of the stderr line
};

const BadCase kBadCases[] = {
    {"NoCommand", {}, "missing command"},
    {"UnknownCommand", {"frob"}, "unknown command 'frob'"},
    {"UnknownCommandAfterJson", {"--json", "frob"}, "unknown command 'frob'"},
    {"UnknownSubcommand", {"mode", "frob"}, "unknown command 'frob'"},
    {"MissingSubcommand", {"schedule"}, "missing command"},
    {"UnknownOption", {"get", "--frob"}, "--frob"},
    {"UnknownControl", {"get", "contrast", "luminance"}, "unknown control 'luminance'"},
    {"UnknownControlToSet", {"set", "sharpness", "5"}, "unknown control 'sharpness'"},
    {"ReadOnlyControl", {"set", "brightness", "5"}, "brightness is read only"},
    {"MissingValue", {"set", "contrast"}, "value is required"},
    {"MissingControlAndValue", {"set"}, "required"},
    {"ExtraValue", {"set", "contrast", "1", "2"}, "not expected"},
    {"Negative", {"set", "contrast", "-1"}, ""},
    {"AboveU32", {"set", "contrast", "4294967296"}, "not a number from 0 to 4294967295"},
    {"FarAboveU32", {"set", "red-gain", "99999999999999999999999"}, "not a number"},
    {"HexAboveU32", {"set", "contrast", "0x100000000"}, "not a number"},
    {"HexWithoutDigits", {"set", "contrast", "0x"}, "not a number"},
    {"MalformedHex", {"set", "contrast", "0x1G"}, "not a number"},
    {"TrailingText", {"set", "contrast", "12abc"}, "not a number"},
    {"LeadingSpace", {"set", "contrast", " 5"}, "not a number"},
    {"Plus", {"set", "contrast", "+5"}, "not a number"},
    {"Empty", {"set", "contrast", ""}, "not a number"},
    {"UnknownList", {"list", "colours"}, "unknown list 'colours'"},
    {"NegativeMode", {"mode", "set", "-1"}, ""},
    {"ModeAboveI32", {"mode", "set", "2147483648"}, "display mode '2147483648'"},
    {"ModeNotANumber", {"mode", "set", "movie"}, "display mode 'movie'"},
    {"PowerNotASwitch", {"power", "maybe"}, "neither on nor off"},
    {"ThreeTimes", {"schedule", "times", "1", "2", "3"}, ""},
    {"BadTime", {"schedule", "times", "1", "2", "3", "x"}, "time 4 'x'"},
    {"ScheduleModeAboveI32", {"schedule", "mode", "0xFFFFFFFF"}, "display mode"},
    {"ScreenAboveU32", {"partition", "set", "0x100000000", "1"}, "screen '0x100000000'"},
    {"LayoutMissing", {"partition", "set", "1"}, "required"},
    {"EmptyAppName", {"autocolor", "add", "", "C:\\a.exe"}, "application name is empty"},
    {"AppNameTooLong", {"autocolor", "add", std::string(100, 'a'), "C:\\a.exe"}, "at most 99"},
    {"AppPathTooLong", {"autocolor", "add", "a", std::string(300, 'p')}, "at most 299"},
    {"AppNameNotUtf8", {"autocolor", "add", "\xFF\xFE", "C:\\a.exe"}, "not UTF-8"},
    {"ModeNameTooLong", {"autocolor", "set-mode", "a", std::string(100, 'm')}, "mode name"},
    // A character beyond the BMP takes two units: 50 of them are 100 units.
    {"AppNameTooLongInUnits", {"autocolor", "delete", [] {
                                   std::string name;
                                   for (int i = 0; i < 50; ++i) name += "\xF0\x9F\x98\x80";
                                   return name;
                               }()},
     "at most 99"},
    {"WatchForNegative", {"watch", "--for-ms", "-5"}, ""},
    {"WatchForNotANumber", {"watch", "--for-ms", "soon"}, "--for-ms 'soon'"},
    {"WaitNotANumber", {"--wait-ms", "x", "get"}, "--wait-ms 'x'"},
    {"TimeoutAboveU32", {"--timeout-ms", "4294967296", "get"}, "--timeout-ms"},
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class CtlBadArgumentTest : public CtlTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(CtlBadArgumentTest, ExitsTwoAndSendsNothing) {
    const BadCase& c = GetParam();
    StartSim();
    ASSERT_EQ(Requests(), 0u);
    const Result bad = Ctl(c.args);
    EXPECT_EQ(bad.status, 2) << Joined(c.args) << "\n" << bad.out << bad.err;
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(Lines(bad.err), 1u) << bad.err;
    EXPECT_EQ(bad.err.rfind("lmvxctl: ", 0), 0u) << bad.err;
    EXPECT_NE(bad.err.find(c.message), std::string::npos) << bad.err;
    EXPECT_EQ(Requests(), 0u) << "requests reached the service";
    EXPECT_EQ(Log(), "");
}

INSTANTIATE_TEST_SUITE_P(Table, CtlBadArgumentTest, ::testing::ValuesIn(kBadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The same numbers at the edges of what is accepted do go out, so the table
// above is about the values and not about the commands.
TEST_F(CtlTest, ValuesAtTheLimitsAreSent) {
    StartSim();
    EXPECT_EQ(Ctl({"set", "contrast", "4294967295"}).status, 1);  // sent, refused by the monitor
    EXPECT_GT(Requests(), 0u);
    EXPECT_NE(Log().find("set-vcp vcp=0x12 value=4294967295 -> result 0"), std::string::npos) << Log();
    EXPECT_EQ(Ctl({"set", "contrast", "0XFF"}).status, 1);
    EXPECT_NE(Log().find("set-vcp vcp=0x12 value=255 -> result 0"), std::string::npos) << Log();
    EXPECT_EQ(Ctl({"mode", "set", "2147483647"}).status, 1);
    // An identifier without a service value is sent as 0xFFFFFFFF.
    EXPECT_NE(Log().find("set-vcp vcp=0xDC value=4294967295"), std::string::npos) << Log();
}

const std::vector<Args> kHelpPaths = {
    {},
    {"status"},
    {"check"},
    {"platform"},
    {"watch"},
    {"get"},
    {"set"},
    {"list"},
    {"mode"},
    {"mode", "get"},
    {"mode", "set"},
    {"reset"},
    {"autocolor"},
    {"autocolor", "status"},
    {"autocolor", "on"},
    {"autocolor", "off"},
    {"autocolor", "modes"},
    {"autocolor", "add"},
    {"autocolor", "delete"},
    {"autocolor", "set-mode"},
    {"partition"},
    {"partition", "status"},
    {"partition", "on"},
    {"partition", "off"},
    {"partition", "get"},
    {"partition", "set"},
    {"partition", "customize"},
    {"schedule"},
    {"schedule", "status"},
    {"schedule", "on"},
    {"schedule", "off"},
    {"schedule", "times"},
    {"schedule", "mode"},
    {"power"},
    {"hdr"},
    {"features"},
};

TEST_F(CtlTest, EveryCommandHasHelp) {
    StartSim();
    for (const Args& path : kHelpPaths) {
        Args args = path;
        args.push_back("--help");
        const Result help = Ctl(args);
        EXPECT_EQ(help.status, 0) << Joined(args) << ": " << help.err;
        EXPECT_EQ(help.err, "") << Joined(args);
        const std::string usage = "Usage: lmvxctl" + (path.empty() ? "" : " " + Joined(path));
        EXPECT_NE(help.out.find(usage), std::string::npos) << Joined(args) << ":\n" << help.out;
    }
    EXPECT_EQ(Requests(), 0u);
}

TEST_F(CtlTest, MainHelpListsEveryCommand) {
    const Result help = Ctl({"--help"});
    ASSERT_EQ(help.status, 0);
    for (const Args& path : kHelpPaths) {
        if (path.size() == 1) {
            EXPECT_NE(help.out.find("  " + path[0] + " "), std::string::npos) << path[0];
        }
    }
}

}  // namespace
}  // namespace ctltest

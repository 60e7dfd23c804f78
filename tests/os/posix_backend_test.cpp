// The POSIX backend on real files, sockets and processes: the platform
// probes; a pipe transaction, which talks only to a server of this user or
// root and never takes a reply cut to the capacity; the private runtime
// folder; and launching, which leaves no child to reap.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "os/os.h"
#include "os/posix/posix_paths.h"
#include "os/posix/posix_platform.h"

namespace {

namespace fs = std::filesystem;
constexpr uid_t kOtherUser = 65534;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A POSIX path in its Windows form: "C:" and backslashes.
std::u16string WindowsForm(const fs::path& path) {
    std::u16string text = Utf16("C:" + path.string());
    std::replace(text.begin(), text.end(), u'/', u'\\');
    return text;
}

// Each test has a fresh folder, which is its runtime folder as well
// (mkdtemp makes it this user's, mode 0700).
class Backend : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmvx-os-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_RUNTIME_DIR", pattern, 1);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // ReadIniString of file_, watching one unit past the capacity.
    uint32_t ReadIni(const char16_t* section, const char16_t* key, std::u16string* value, uint32_t units = 64) {
        std::u16string out(units + 1, u'#');
        const uint32_t n = os::ReadIniString(WindowsForm(file_).c_str(), section, key, out.data(), units);
        EXPECT_EQ(out[units], u'#') << "wrote past the capacity";
        *value = units == 0 ? std::u16string() : std::u16string(out.c_str());
        return n;
    }
    fs::path dir_;
    fs::path file_;
};

TEST_F(Backend, IniReadsValuesTheWayWindowsDoes) {
    file_ = dir_ / "BIN" / "rstone_bbv2.ini";
    Write(file_,
          "; vendor file\r\nOrphan=before any section\r\n[Other]\r\nFeatureByte=other section\r\n"
          "  [ BIOS Strings ]  \r\n; FeatureByte=commented\r\nNoEquals\r\n  featurebyte  =  xnSxx  \r\n"
          "FeatureByte=second key loses\r\nQuoted=\"  kept inside  \"\r\nUnbalanced=\"a\r\n"
          "Inline=value ; not a comment\r\nUnicode=caf\xC3\xA9 \xF0\x9F\x96\xA5\n"
          "[bios strings]\r\nLater=only the first section counts\r\n");
    const std::tuple<const char16_t*, const char16_t*, std::u16string> cases[] = {
        {u"bios STRINGS", u"FEATUREBYTE", u"xnSxx"},
        {u"Other", u"FeatureByte", u"other section"},
        {u"BIOS Strings", u"Quoted", u"  kept inside  "},
        {u"BIOS Strings", u"Unbalanced", u"\"a"},
        {u"BIOS Strings", u"Inline", u"value ; not a comment"},
        {u"BIOS Strings", u"Unicode", u"caf\u00E9 \U0001F5A5"},
        {u"BIOS Strings", u"Later", u""},
        {u"BIOS Strings", u"Orphan", u""},
        {u"Absent", u"FeatureByte", u""},
    };
    for (const auto& [section, key, expected] : cases) {
        std::u16string value;
        SCOPED_TRACE(testing::PrintToString(std::u16string(key)));
        EXPECT_EQ(ReadIni(section, key, &value), expected.size());
        EXPECT_EQ(value, expected);
    }
    for (const fs::path& nothing : {dir_ / "absent.ini", dir_}) {
        file_ = nothing;
        std::u16string value;
        EXPECT_EQ(ReadIni(u"S", u"K", &value), 0u);
    }
}

TEST_F(Backend, IniCutsALongValueToTheCapacityLessOne) {
    file_ = dir_ / "long.ini";
    Write(file_, "[S]\nK=" + std::string(1500, 'v') + "nS\n");
    std::u16string value;
    EXPECT_EQ(ReadIni(u"S", u"K", &value, 1024), 1023u);
    EXPECT_EQ(value, std::u16string(1023, u'v'));
    EXPECT_EQ(ReadIni(u"S", u"K", &value, 1), 0u);
    EXPECT_EQ(ReadIni(u"S", u"K", &value, 0), 0u);
}

TEST_F(Backend, IniReadsUtf16FilesWithAByteOrderMark) {
    for (const bool little : {true, false}) {
        std::string bytes;
        for (const char16_t c : std::u16string(u"\uFEFF[S]\r\nK=\u00FCber nT\r\n")) {
            const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
            bytes += little ? std::string{low, high} : std::string{high, low};
        }
        file_ = dir_ / (little ? "le.ini" : "be.ini");
        Write(file_, bytes);
        std::u16string value;
        EXPECT_EQ(ReadIni(u"S", u"K", &value), 7u);
        EXPECT_EQ(value, u"\u00FCber nT");
    }
}

TEST_F(Backend, AdaptersAreDisplayClassDevicesInNameOrderInUpperCaseHex) {
    const char* names[] = {"class", "vendor", "device", "subsystem_vendor", "subsystem_device", "revision"};
    const std::vector<std::string> devices[] = {
        {"0000:00:02.0", "0x030000", "0x8086", "0x46a6", "0x1025", "0x3baa", "0x0c"},
        {"0000:00:01.0", "0x060400", "0x8086", "0x1234", "0x0000", "0x0000", "0x01"},  // a bridge
        {"0000:01:00.0", "0x030200", "0x10de", "0x25a2", "0x17aa", "0x8c75", "0xa1"},
        {"0000:02:00.0", "0x038000", "0x1002", "0x1638", "", "", "0xc5"},  // no subsystem files
    };
    for (const auto& device : devices)
        for (size_t i = 0; i < 6; ++i)
            if (!device[i + 1].empty()) Write(dir_ / device[0] / names[i], device[i + 1] + "\n");
    const std::u16string expected[] = {u"PCI\\VEN_8086&DEV_46A6&SUBSYS_3BAA1025&REV_0C",
                                       u"PCI\\VEN_10DE&DEV_25A2&SUBSYS_8C7517AA&REV_A1",
                                       u"PCI\\VEN_1002&DEV_1638&SUBSYS_00000000&REV_C5", u""};
    for (const uint32_t units : {128u, 10u}) {  // 10: cut to the capacity less one
        for (uint32_t index = 0; index < 4; ++index) {
            std::u16string out(units + 1, u'#');
            EXPECT_EQ(os::posix::DisplayAdapterIdIn(dir_.c_str(), index, out.data(), units), index < 3);
            EXPECT_EQ(std::u16string(out.c_str()), index < 3 ? expected[index].substr(0, units - 1) : out.c_str());
            EXPECT_EQ(out[units], u'#');
        }
    }
    char16_t out[4];
    EXPECT_FALSE(os::posix::DisplayAdapterIdIn((dir_ / "absent").c_str(), 0, out, 4));
}

// One transaction of a 16-byte request with room for a 64-byte reply,
// served by a child process that listens as `uid` and answers with
// `replySize` bytes. Gives the number of request bytes the server received.
int Transact(const fs::path& dir, uid_t uid, size_t replySize, bool* ok, uint32_t* received) {
    const std::string path = (dir / "lmvx-test").string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    unlink(path.c_str());
    const std::vector<char> reply(replySize, 'r');
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t server = fork();
    if (server == 0) {  // async-signal-safe calls only
        alarm(30);      // a server nobody talks to ends
        const int listener = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        // A server's credentials are those it had at listen().
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || setuid(uid) != 0 ||
            listen(listener, 1) != 0 || write(ready[1], "+", 1) != 1)
            _exit(255);
        const int client = accept(listener, nullptr, nullptr);
        char request[64];
        const ssize_t got = recv(client, request, sizeof request, 0);
        if (got > 0) send(client, reply.data(), reply.size(), 0);
        _exit(got > 0 ? static_cast<int>(got) : 0);
    }
    close(ready[1]);
    char buffer[64] = "request";
    if (read(ready[0], buffer, 1) == 1)
        *ok = os::TransactPipe(u"\\\\.\\pipe\\lmvx-test", buffer, 16, buffer, 64, received, 1000);
    close(ready[0]);
    int status = 0;
    waitpid(server, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Backend, PipeRefusesAReplyLongerThanTheCapacity) {
    for (const size_t replySize : {64, 65}) {
        bool ok = replySize > 64;
        uint32_t received = 0;
        EXPECT_EQ(Transact(dir_, geteuid(), replySize, &ok, &received), 16) << replySize;
        EXPECT_EQ(ok, replySize <= 64) << replySize;
        EXPECT_EQ(received, replySize <= 64 ? 64u : 0u);
    }
}

TEST_F(Backend, PipeTellsAServerOfAnotherUserNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to serve the pipe as another user";
    bool ok = true;
    uint32_t received = 0;
    EXPECT_EQ(Transact(dir_, kOtherUser, 64, &ok, &received), 0) << "the request reached the other user";
    EXPECT_FALSE(ok);
}

TEST_F(Backend, RuntimeFolderIsUsedOnlyWhenPrivateToThisUserOrRootAndMadeInTmpWithoutXdg) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the runtime folder to another user";
    const auto ignore = [](uint32_t, uint64_t, uint64_t) { return false; };
    const std::tuple<const char*, mode_t, uid_t, bool> cases[] = {
        {"open to group", 0750, 0, false},
        {"open to others", 0701, 0, false},
        {"another user's", 0700, kOtherUser, false},
        {"private", 0700, 0, true},
    };
    for (const auto& [what, mode, owner, usable] : cases) {
        ASSERT_EQ(chown(dir_.c_str(), owner, 0), 0);
        ASSERT_EQ(chmod(dir_.c_str(), mode), 0);
        const uint64_t window = os::CreateNotificationWindow(u"C", u"T", ignore);
        EXPECT_EQ(window != 0, usable) << what;
        os::CloseNotificationWindow(window);
    }
    // A link is not the folder, even to a private one.
    const std::string link = dir_.string() + "-link";
    fs::create_symlink(dir_, link);
    setenv("XDG_RUNTIME_DIR", link.c_str(), 1);
    EXPECT_EQ(os::posix::RuntimeDir(), "");
    fs::remove(link);
    // Without an absolute XDG_RUNTIME_DIR it is /tmp/lmvx-<uid>, made private.
    const std::string fallback = "/tmp/lmvx-" + std::to_string(getuid());
    rmdir(fallback.c_str());  // when empty, so that it is made anew
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(os::posix::RuntimeDir(), fallback);
    struct stat info {};
    ASSERT_EQ(lstat(fallback.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(Backend, LaunchRunsTheProgramAndLeavesNoChildToReap) {
    const pid_t hostChild = fork();  // the host's own, ended but not yet waited for
    if (hostChild == 0) _exit(7);
    siginfo_t ended{};
    ASSERT_EQ(waitid(P_PID, hostChild, &ended, WEXITED | WNOWAIT), 0);
    const fs::path program = dir_ / "companion";
    Write(program, "#!/bin/sh\ntouch \"$0.ran\"\n");
    fs::permissions(program, fs::perms::owner_all);
    os::ShellOpen(Utf16(program.string()).c_str(), nullptr);
    for (int i = 0; i < 15000 && !fs::exists(program.string() + ".ran"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(fs::exists(program.string() + ".ran"));
    int status = 0;
    EXPECT_EQ(waitpid(hostChild, &status, 0), hostChild) << "the host's child was waited for";
    EXPECT_EQ(WEXITSTATUS(status), 7);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the launch left a child to reap";
}

}  // namespace

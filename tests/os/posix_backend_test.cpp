// The POSIX backend on real files, sockets and processes: the platform
// probes; a pipe transaction, which talks only to a server of this user or
// root and never takes a reply cut to the capacity; the private runtime
// folder; and launching, which leaves no child to reap.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "os/os.h"
#include "os/posix/posix_paths.h"
#include "os/posix/posix_platform.h"

namespace {

namespace fs = std::filesystem;
constexpr uid_t kOtherUser = 65534;

// A POSIX path in UTF-16, with "C:" and backslashes in its Windows form.
std::u16string Utf16(const std::string& ascii, bool windows = false) {
    std::u16string text(ascii.begin(), ascii.end());
    if (windows) std::replace(text.begin(), text.end(), u'/', u'\\');
    return windows ? u"C:" + text : text;
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
    fs::path dir_;
};

TEST_F(Backend, IniReadsValuesTheWayWindowsDoes) {
    Write(dir_ / "BIN" / "a.ini", "; vendor file\r\nOrphan=before any section\r\n[Other]\r\nFeatureByte=other section\r\n"
          "  [ BIOS Strings ]  \r\n; FeatureByte=commented\r\nNoEquals\r\n  featurebyte  =  xnSxx  \r\nFeatureByte=loses\r\n"
          "Quoted=\"  kept inside  \"\r\nUnbalanced=\"a\r\nInline=value ; not a comment\r\nUnicode=caf\xC3\xA9 \xF0\x9F\x96\xA5\n"
          "[bios strings]\r\nLater=only the first section counts\r\n[Long]\r\nK=" + std::string(1500, 'v') + "\n");
    const std::tuple<const char*, const char16_t*, const char16_t*, uint32_t, std::u16string> cases[] = {
        {"BIN/a.ini", u"bios STRINGS", u"FEATUREBYTE", 64, u"xnSxx"},
        {"BIN/a.ini", u"Other", u"FeatureByte", 64, u"other section"},
        {"BIN/a.ini", u"BIOS Strings", u"Quoted", 64, u"  kept inside  "},
        {"BIN/a.ini", u"BIOS Strings", u"Unbalanced", 64, u"\"a"},
        {"BIN/a.ini", u"BIOS Strings", u"Inline", 64, u"value ; not a comment"},
        {"BIN/a.ini", u"BIOS Strings", u"Unicode", 64, u"caf\u00E9 \U0001F5A5"},
        {"BIN/a.ini", u"BIOS Strings", u"Later", 64, u""},
        {"BIN/a.ini", u"Long", u"K", 1024, std::u16string(1023, u'v')},  // cut to the room less one
        {"absent.ini", u"S", u"K", 64, u""},
    };
    for (const auto& [file, section, key, units, expected] : cases) {
        std::u16string out(units + 1, u'#');  // watching one unit past the room
        EXPECT_EQ(os::ReadIniString(Utf16((dir_ / file).string(), true).c_str(), section, key, out.data(), units),
                  expected.size());
        EXPECT_EQ(std::u16string(out.c_str()) + out[units], expected + u'#');
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
                                       u"PCI\\VEN_1002&DEV_1638&SUBSYS_00000000&REV_C5", std::u16string(129, u'#')};
    for (uint32_t index = 0; index < 4; ++index) {
        std::u16string out(129, u'#');
        EXPECT_EQ(os::posix::DisplayAdapterIdIn(dir_.c_str(), index, out.data(), index == 0 ? 10 : 128), index < 3);
        EXPECT_EQ(std::u16string(out.c_str()), expected[index].substr(0, index == 0 ? 9 : 129));  // cut to the room
    }
}

// One transaction of a 16-byte request with room for a 64-byte reply,
// served by a child process that listens as `uid` and answers with
// `replySize` bytes. Gives the number of request bytes the server received.
int Transact(const fs::path& dir, uid_t uid, size_t replySize, bool* ok, uint32_t* received) {
    sockaddr_un address{.sun_family = AF_UNIX};
    unlink(std::strcpy(address.sun_path, (dir / "lmvx-test").c_str()));
    const std::string reply(replySize, 'r');
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
    if (read(ready[0], buffer, 1) == 1) *ok = os::TransactPipe(u"\\\\.\\pipe\\lmvx-test", buffer, 16, buffer, 64, received, 1000);
    close(ready[0]);
    int status = 0;
    waitpid(server, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The server of another user comes last: it needs root, and the test is
// skipped there without it.
TEST_F(Backend, PipeTakesNoReplyLongerThanTheCapacityAndTellsAServerOfAnotherUserNothing) {
    // The server's user, its reply's size, the request bytes it gets, success.
    const std::tuple<uid_t, size_t, int, bool> cases[] = {
        {geteuid(), 64, 16, true}, {geteuid(), 65, 16, false}, {kOtherUser, 64, 0, false}};
    for (const auto& [uid, replySize, served, success] : cases) {
        if (uid != geteuid() && geteuid() != 0) GTEST_SKIP() << "needs root to serve the pipe as another user";
        bool ok = !success;
        uint32_t received = 0;
        EXPECT_EQ(Transact(dir_, uid, replySize, &ok, &received), served) << replySize;
        EXPECT_EQ(ok, success) << replySize;
        EXPECT_EQ(received, success ? 64u : 0u);
    }
}

TEST_F(Backend, RuntimeFolderIsUsedOnlyWhenPrivateToThisUserOrRoot) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the runtime folder to another user";
    // Open to group, open to others, another user's, private.
    const std::tuple<mode_t, uid_t, bool> cases[] = {{0750, 0, false}, {0701, 0, false}, {0700, kOtherUser, false}, {0700, 0, true}};
    for (const auto& [mode, owner, usable] : cases) {
        ASSERT_EQ(chown(dir_.c_str(), owner, 0) + chmod(dir_.c_str(), mode), 0);
        const uint64_t window = os::CreateNotificationWindow(u"C", u"T", [](uint32_t, uint64_t, uint64_t) { return false; });
        EXPECT_EQ(window != 0, usable) << mode << " " << owner;
        os::CloseNotificationWindow(window);
    }
    // A link is not the folder, even to a private one.
    fs::create_symlink(dir_, dir_.string() + "-link");
    setenv("XDG_RUNTIME_DIR", (dir_.string() + "-link").c_str(), 1);
    EXPECT_EQ(os::posix::RuntimeDir(), "");
    fs::remove(dir_.string() + "-link");
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
    EXPECT_TRUE(waitpid(hostChild, &status, 0) == hostChild && WEXITSTATUS(status) == 7);  // the host's child
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the launch left a child to reap";
}

}  // namespace

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

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "os/os.h"
#include "os/posix/posix_paths.h"
#include "os/posix/posix_platform.h"

namespace {

namespace fs = std::filesystem;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A POSIX path in its Windows form: "C:" and backslashes.
std::u16string WindowsForm(const fs::path& path) {
    std::string text = "C:" + path.string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return Utf16(text);
}

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmvx-os-XXXXXX";  // 0700, this user's: a runtime folder as well
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_RUNTIME_DIR", pattern, 1);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    void Write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    fs::path dir_;
};

class Ini : public TempDir {
protected:
    uint32_t Read(const std::u16string& section, const std::u16string& key, std::u16string* value,
                  uint32_t units = 64) {
        std::u16string out(units + 1, u'#');  // one guard unit past the capacity
        const uint32_t n = os::ReadIniString(WindowsForm(file_).c_str(), section.c_str(), key.c_str(), out.data(), units);
        EXPECT_EQ(out[units], u'#') << "wrote past the capacity";
        *value = units == 0 ? std::u16string() : std::u16string(out.c_str());
        return n;
    }
    fs::path file_;
};

TEST_F(Ini, ReadsValuesTheWayWindowsDoes) {
    file_ = dir_ / "BIN" / "rstone_bbv2.ini";
    Write(file_,
          "; vendor file\r\n"
          "Orphan=before any section\r\n"
          "[Other]\r\n"
          "FeatureByte=other section\r\n"
          "  [ BIOS Strings ]  \r\n"
          "; FeatureByte=commented\r\n"
          "NoEquals\r\n"
          "  featurebyte  =  xnSxx  \r\n"
          "FeatureByte=second key loses\r\n"
          "Quoted=\"  kept inside  \"\r\n"
          "Unbalanced=\"a\r\n"
          "Empty=\r\n"
          "Inline=value ; not a comment\r\n"
          "Unicode=caf\xC3\xA9 \xF0\x9F\x96\xA5\n"
          "[bios strings]\r\n"
          "Later=only the first section counts\r\n");
    struct Case {
        std::u16string section;
        std::u16string key;
        std::u16string value;
    };
    const Case cases[] = {
        {u"BIOS Strings", u"FeatureByte", u"xnSxx"},
        {u"bios STRINGS", u"FEATUREBYTE", u"xnSxx"},
        {u"Other", u"FeatureByte", u"other section"},
        {u"BIOS Strings", u"Quoted", u"  kept inside  "},
        {u"BIOS Strings", u"Unbalanced", u"\"a"},
        {u"BIOS Strings", u"Empty", u""},
        {u"BIOS Strings", u"Inline", u"value ; not a comment"},
        {u"BIOS Strings", u"Unicode", u"caf\u00E9 \U0001F5A5"},
        {u"BIOS Strings", u"Later", u""},
        {u"BIOS Strings", u"Orphan", u""},
        {u"BIOS Strings", u"NoEquals", u""},
        {u"BIOS Strings", u"Missing", u""},
        {u"Absent", u"FeatureByte", u""},
    };
    for (const Case& c : cases) {
        std::u16string value;
        EXPECT_EQ(Read(c.section, c.key, &value), c.value.size()) << std::string(c.key.begin(), c.key.end());
        EXPECT_EQ(value, c.value) << std::string(c.key.begin(), c.key.end());
    }
    // A missing file or a folder reads nothing.
    for (const fs::path& path : {dir_ / "absent.ini", dir_}) {
        file_ = path;
        std::u16string value;
        EXPECT_EQ(Read(u"S", u"K", &value), 0u);
        EXPECT_EQ(value, u"");
    }
}

TEST_F(Ini, ALongValueIsCutToTheCapacityLessOne) {
    file_ = dir_ / "long.ini";
    Write(file_, "[S]\nK=" + std::string(1500, 'v') + "nS\n");
    std::u16string value;
    EXPECT_EQ(Read(u"S", u"K", &value, 1024), 1023u);
    EXPECT_EQ(value, std::u16string(1023, u'v'));
    EXPECT_EQ(Read(u"S", u"K", &value, 1), 0u);
    EXPECT_EQ(value, u"");
    EXPECT_EQ(Read(u"S", u"K", &value, 0), 0u);
}

TEST_F(Ini, Utf16FilesWithAByteOrderMark) {
    const std::u16string text = u"[S]\r\nK=\u00FCber nT\r\n";
    for (const bool little : {true, false}) {
        std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
        for (char16_t c : text) {
            const char low = static_cast<char>(c & 0xFF);
            const char high = static_cast<char>(c >> 8);
            bytes += little ? std::string{low, high} : std::string{high, low};
        }
        file_ = dir_ / (little ? "le.ini" : "be.ini");
        Write(file_, bytes);
        std::u16string value;
        EXPECT_EQ(Read(u"S", u"K", &value), 7u);
        EXPECT_EQ(value, u"\u00FCber nT");
    }
}

TEST(PathMapping, WindowsPathsBecomePosixPaths) {
    const std::pair<const char16_t*, std::string> cases[] = {
        {u"C:\\Korvath\\BIN\\rstone_bbv2.ini", "/Korvath/BIN/rstone_bbv2.ini"},
        {u"d:\\x", "/x"},
        {u"\\A\\B", "/A/B"},
        {u"/var/lib\\Lumivex.test", "/var/lib/Lumivex.test"},
        {u"1:\\A", "1:/A"},  // not a drive letter
        {u"C:", ""},
        {u"", ""},
    };
    for (const auto& [windows, posix] : cases) EXPECT_EQ(os::posix::MapWindowsPath(windows), posix);
}

class Folders : public TempDir {};

TEST_F(Folders, OnlyAnExistingFolderIsADirectory) {
    Write(dir_ / "file", "not a folder");
    EXPECT_TRUE(os::IsDirectory(WindowsForm(dir_).c_str()));
    EXPECT_FALSE(os::IsDirectory(WindowsForm(dir_ / "file").c_str()));
    EXPECT_FALSE(os::IsDirectory(WindowsForm(dir_ / "absent").c_str()));
    EXPECT_FALSE(os::IsDirectory(nullptr));
}

TEST(CommonAppData, IsVarLibWithoutATrailingSeparator) {
    char16_t out[260] = {};
    ASSERT_TRUE(os::CommonAppDataFolder(out, 260));
    EXPECT_EQ(std::u16string(out), u"/var/lib");
    char16_t tiny[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_FALSE(os::CommonAppDataFolder(tiny, 4));
    EXPECT_EQ(tiny[0], u'x');
}

class Adapters : public TempDir {
protected:
    void Device(const std::string& name, const std::string& cls, const std::string& vendor, const std::string& device,
                const std::string& subVendor, const std::string& subDevice, const std::string& revision) {
        const fs::path d = dir_ / name;
        Write(d / "class", cls + "\n");
        Write(d / "vendor", vendor + "\n");
        Write(d / "device", device + "\n");
        if (!subVendor.empty()) Write(d / "subsystem_vendor", subVendor + "\n");
        if (!subDevice.empty()) Write(d / "subsystem_device", subDevice + "\n");
        Write(d / "revision", revision + "\n");
    }
    std::vector<std::u16string> All(uint32_t units = 128) {
        std::vector<std::u16string> ids;
        for (uint32_t i = 0; i < 16; ++i) {
            std::u16string out(units + 1, u'#');
            if (!os::posix::DisplayAdapterIdIn(dir_.c_str(), i, out.data(), units)) break;
            EXPECT_EQ(out[units], u'#');
            ids.emplace_back(out.c_str());
        }
        return ids;
    }
};

TEST_F(Adapters, DisplayClassDevicesInNameOrderUpperCaseHex) {
    Device("0000:00:02.0", "0x030000", "0x8086", "0x46a6", "0x1025", "0x3baa", "0x0c");
    Device("0000:00:01.0", "0x060400", "0x8086", "0x1234", "0x0000", "0x0000", "0x01");  // a bridge
    Device("0000:01:00.0", "0x030200", "0x10de", "0x25a2", "0x17aa", "0x8c75", "0xa1");
    Device("0000:02:00.0", "0x038000", "0x1002", "0x1638", "", "", "0xc5");  // no subsystem files
    const std::vector<std::u16string> expected = {
        u"PCI\\VEN_8086&DEV_46A6&SUBSYS_3BAA1025&REV_0C",
        u"PCI\\VEN_10DE&DEV_25A2&SUBSYS_8C7517AA&REV_A1",
        u"PCI\\VEN_1002&DEV_1638&SUBSYS_00000000&REV_C5",
    };
    EXPECT_EQ(All(), expected);
    // Cut to the capacity less one, like the hardware-id field.
    EXPECT_EQ(All(10), (std::vector<std::u16string>{u"PCI\\VEN_8", u"PCI\\VEN_1", u"PCI\\VEN_1"}));
    char16_t out[4];
    EXPECT_FALSE(os::posix::DisplayAdapterIdIn(dir_.c_str(), 0, out, 0));
    EXPECT_FALSE(os::posix::DisplayAdapterIdIn((dir_ / "absent").c_str(), 0, out, 4));
}

constexpr uid_t kOtherUser = 65534;

class Endpoints : public TempDir {
protected:
    // One transaction of a 16-byte request, with room for 64 bytes of reply,
    // against a server in a child process that listens as `uid` and answers
    // with `replySize` bytes. Gives the number of request bytes the server
    // received.
    int Transact(uid_t uid, size_t replySize, bool* ok, uint32_t* received) {
        const std::string path = (dir_ / "lmvx-test").string();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const std::vector<char> reply(replySize, 'r');
        unlink(path.c_str());
        int ready[2];
        if (pipe(ready) != 0) return -1;
        const pid_t server = fork();
        if (server == 0) {  // async-signal-safe calls only
            alarm(30);      // a server nobody talks to ends
            const int listener = socket(AF_UNIX, SOCK_SEQPACKET, 0);
            // A peer's credentials are those it had at listen().
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
};

TEST_F(Endpoints, APipeReplyLongerThanTheCapacityIsRefused) {
    for (const size_t replySize : {64, 65}) {
        bool ok = replySize > 64;
        uint32_t received = 0;
        EXPECT_EQ(Transact(geteuid(), replySize, &ok, &received), 16) << replySize;
        EXPECT_EQ(ok, replySize <= 64) << replySize;
        EXPECT_EQ(received, replySize <= 64 ? 64u : 0u);
    }
}

TEST_F(Endpoints, APipeServedByAnotherUserIsToldNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to serve the pipe as another user";
    bool ok = true;
    uint32_t received = 0;
    EXPECT_EQ(Transact(kOtherUser, 64, &ok, &received), 0) << "the request reached the other user";
    EXPECT_FALSE(ok);
}

TEST_F(Endpoints, OnlyAPrivateRuntimeFolderOfThisUserOrRootIsUsed) {
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
    fs::create_symlink(dir_, dir_.string() + "-link");
    setenv("XDG_RUNTIME_DIR", (dir_.string() + "-link").c_str(), 1);
    EXPECT_EQ(os::posix::RuntimeDir(), "");
    fs::remove(dir_.string() + "-link");
}

TEST(RuntimeFolder, WithoutAnAbsoluteXdgRuntimeDirItIsMadePrivateInTmp) {
    const std::string fallback = "/tmp/lmvx-" + std::to_string(getuid());
    rmdir(fallback.c_str());  // when empty, so that it is made anew
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(os::posix::RuntimeDir(), fallback);
    struct stat info {};
    ASSERT_EQ(lstat(fallback.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(Endpoints, ALaunchedProgramRunsAndLeavesNoChildToReap) {
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

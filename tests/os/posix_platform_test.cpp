// The POSIX stand-ins of the platform probes, on real files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "os/os.h"
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
        std::string pattern = (fs::temp_directory_path() / "lmvx-os-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
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
          "Single='a'\r\n"
          "Unbalanced=\"a\r\n"
          "Lone=\"\r\n"
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
        {u"BIOS Strings", u"Single", u"a"},
        {u"BIOS Strings", u"Unbalanced", u"\"a"},
        {u"BIOS Strings", u"Lone", u"\""},
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
    file_ = dir_ / "bom8.ini";
    Write(file_, "\xEF\xBB\xBF[S]\nK=v\n");
    std::u16string value;
    EXPECT_EQ(Read(u"S", u"K", &value), 1u);
}

TEST_F(Ini, AMissingFileOrAFolderReadsNothing) {
    file_ = dir_ / "absent.ini";
    std::u16string value;
    EXPECT_EQ(Read(u"S", u"K", &value), 0u);
    EXPECT_EQ(value, u"");
    file_ = dir_;
    EXPECT_EQ(Read(u"S", u"K", &value), 0u);
    char16_t out[8] = {u'x'};
    EXPECT_EQ(os::ReadIniString(nullptr, u"S", u"K", out, 8), 0u);
    EXPECT_EQ(out[0], 0);
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
    EXPECT_EQ(os::posix::MapWindowsPath(nullptr), "");
}

class Folders : public TempDir {};

TEST_F(Folders, OnlyAnExistingFolderIsADirectory) {
    fs::create_directories(dir_ / "Lumivex.test");
    Write(dir_ / "file" / "Lumivex.test", "not a folder");
    fs::create_directories(dir_ / "hidden" / ".Lumivex.test");
    fs::permissions(dir_ / "Lumivex.test", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_TRUE(os::IsDirectory(WindowsForm(dir_ / "Lumivex.test").c_str()));
    EXPECT_TRUE(os::IsDirectory(WindowsForm(dir_ / "hidden" / ".Lumivex.test").c_str()));
    EXPECT_FALSE(os::IsDirectory(WindowsForm(dir_ / "file" / "Lumivex.test").c_str()));
    EXPECT_FALSE(os::IsDirectory(WindowsForm(dir_ / "absent").c_str()));
    EXPECT_FALSE(os::IsDirectory(u""));
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
}

TEST_F(Adapters, NoDevicesOrNoFolder) {
    EXPECT_TRUE(All().empty());
    char16_t out[128];
    EXPECT_FALSE(os::posix::DisplayAdapterIdIn((dir_ / "absent").c_str(), 0, out, 128));
}

TEST(RealAdapters, EveryReportedIdHasTheHardwareIdForm) {
    // Whatever this machine has: each id reads back in the PCI form.
    for (uint32_t i = 0; i < 64; ++i) {
        char16_t out[128];
        if (!os::DisplayAdapterId(i, out, 128)) break;
        const std::u16string id(out);
        EXPECT_EQ(id.rfind(u"PCI\\VEN_", 0), 0u);
        EXPECT_EQ(id.size(), 44u);
    }
}

}  // namespace

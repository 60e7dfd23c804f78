// POSIX stand-ins of the platform probes: an ini reader with the contract of
// GetPrivateProfileStringW, the PCI display adapters from sysfs, /var/lib as
// the common application-data folder, and a folder test.
//
// The ini reader follows the Windows rules: section and key names match
// without regard to ASCII case; blanks around names and values are dropped;
// lines starting with ';' are comments; only the first section of a name is
// searched and the first matching key wins; a value enclosed in a pair of
// equal quotes (' or ") loses them. The file may be UTF-8 (BOM optional) or
// UTF-16 with a BOM.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "os/os.h"
#include "os/posix/posix_paths.h"
#include "os/posix/posix_platform.h"

namespace os {
namespace posix {
namespace {

constexpr size_t kMaxIniBytes = 4u << 20;  // larger files are not ini files we read
constexpr const char* kPciDevices = "/sys/bus/pci/devices";
constexpr char16_t kCommonAppData[] = u"/var/lib";

bool ReadWholeFile(const std::string& path, size_t limit, std::string* content) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    content->clear();
    char chunk[4096];
    while (ok) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (content->size() + static_cast<size_t>(n) > limit) ok = false;
        else content->append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

std::u16string DecodeIniText(const std::string& bytes) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() >= 2 && ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
        const bool little = byte(0) == 0xFF;
        std::u16string out;
        out.reserve(bytes.size() / 2);
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<char16_t>(little ? byte(i) | (byte(i + 1) << 8) : (byte(i) << 8) | byte(i + 1)));
        return out;
    }
    std::string_view text(bytes);
    if (text.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) text.remove_prefix(3);
    return FromUtf8(text);
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f'; }

std::u16string_view Trim(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

// Finds the value of `key` in the first section named `section`.
bool FindIniValue(std::u16string_view text, std::u16string_view section, std::u16string_view key,
                  std::u16string_view* value) {
    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        const size_t end = text.find(u'\n');
        std::u16string_view line = Trim(text.substr(0, end));
        text = end == std::u16string_view::npos ? std::u16string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == u';') continue;
        if (line.front() == u'[') {
            if (inSection) return false;  // only the first section of the name counts
            line.remove_prefix(1);
            const size_t close = line.rfind(u']');
            if (close != std::u16string_view::npos) line = line.substr(0, close);
            inSection = !sectionSeen && SameName(Trim(line), section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        const size_t equals = line.find(u'=');
        if (equals == std::u16string_view::npos) continue;
        if (!SameName(Trim(line.substr(0, equals)), key)) continue;
        std::u16string_view found = Trim(line.substr(equals + 1));
        if (found.size() >= 2 && (found.front() == u'"' || found.front() == u'\'') && found.back() == found.front())
            found = found.substr(1, found.size() - 2);
        *value = found;
        return true;
    }
    return false;
}

// Reads a sysfs attribute holding one hexadecimal number ("0x8086\n").
bool ReadHexAttribute(const std::string& path, unsigned long* value) {
    std::string text;
    if (!ReadWholeFile(path, 64, &text)) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoul(text.c_str(), &end, 16);
    return errno == 0 && end != text.c_str();
}

}  // namespace

std::string MapWindowsPath(const char16_t* windowsPath) {
    if (windowsPath == nullptr) return {};
    std::string path = ToUtf8(windowsPath);
    const char drive = path.size() >= 2 ? path[0] : 0;
    if (path.size() >= 2 && path[1] == ':' && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')))
        path.erase(0, 2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

bool DisplayAdapterIdIn(const char* devicesRoot, uint32_t index, char16_t* out, uint32_t outUnits) {
    if (devicesRoot == nullptr || out == nullptr || outUnits == 0) return false;
    DIR* dir = ::opendir(devicesRoot);
    if (dir == nullptr) return false;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    uint32_t seen = 0;
    for (const std::string& name : names) {
        const std::string device = std::string(devicesRoot) + "/" + name + "/";
        unsigned long deviceClass = 0;
        unsigned long vendor = 0;
        unsigned long id = 0;
        if (!ReadHexAttribute(device + "class", &deviceClass) || (deviceClass >> 16) != 0x03) continue;
        if (!ReadHexAttribute(device + "vendor", &vendor) || !ReadHexAttribute(device + "device", &id)) continue;
        if (seen++ != index) continue;
        unsigned long subsystemVendor = 0;
        unsigned long subsystem = 0;
        unsigned long revision = 0;
        ReadHexAttribute(device + "subsystem_vendor", &subsystemVendor);
        ReadHexAttribute(device + "subsystem_device", &subsystem);
        ReadHexAttribute(device + "revision", &revision);
        char text[96];
        const int length = std::snprintf(text, sizeof text, "PCI\\VEN_%04lX&DEV_%04lX&SUBSYS_%04lX%04lX&REV_%02lX",
                                         vendor & 0xFFFF, id & 0xFFFF, subsystem & 0xFFFF, subsystemVendor & 0xFFFF,
                                         revision & 0xFF);
        if (length < 0) return false;
        const uint32_t units = std::min<uint32_t>(static_cast<uint32_t>(length), outUnits - 1);
        for (uint32_t i = 0; i < units; ++i) out[i] = static_cast<char16_t>(text[i]);
        out[units] = 0;
        return true;
    }
    return false;
}

}  // namespace posix

uint32_t ReadIniString(const char16_t* path, const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t outUnits) {
    if (out == nullptr || outUnits == 0) return 0;
    out[0] = 0;
    if (path == nullptr || section == nullptr || key == nullptr) return 0;
    std::string bytes;
    if (!posix::ReadWholeFile(posix::MapWindowsPath(path), posix::kMaxIniBytes, &bytes)) return 0;
    const std::u16string text = posix::DecodeIniText(bytes);
    std::u16string_view value;
    if (!posix::FindIniValue(text, section, key, &value)) return 0;
    const uint32_t units = static_cast<uint32_t>(std::min<size_t>(value.size(), outUnits - 1));
    std::copy(value.begin(), value.begin() + units, out);
    out[units] = 0;
    return units;
}

bool DisplayAdapterId(uint32_t index, char16_t* out, uint32_t outUnits) {
    return posix::DisplayAdapterIdIn(posix::kPciDevices, index, out, outUnits);
}

bool CommonAppDataFolder(char16_t* out, uint32_t outUnits) {
    if (out == nullptr || outUnits < std::size(posix::kCommonAppData)) return false;
    struct stat info {};
    if (::stat("/var/lib", &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    std::memcpy(out, posix::kCommonAppData, sizeof posix::kCommonAppData);
    return true;
}

bool IsDirectory(const char16_t* path) {
    const std::string mapped = posix::MapWindowsPath(path);
    if (mapped.empty()) return false;
    struct stat info {};
    return ::stat(mapped.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace os

// Windows backend of the local lookups: the machine registry, the host's
// executable, files and folders, the ini reader, the display adapters and the
// common application-data folder. Every read stays inside the caller's buffer
// and leaves it terminated.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "os/os.h"
#include "os/win32/win32.h"

#include <shlobj.h>

namespace os {
namespace {

using win32::DropLastError;
using win32::Wide;

// A string value larger than this is not a path the library reads.
constexpr DWORD kMaxRegistryValueBytes = 1u << 20;
// The value may grow between the size query and the read; it is asked for
// again this often before the read counts as failed.
constexpr int kRegistryReadAttempts = 3;

constexpr uint32_t kShellFolderUnits = 260;  // MAX_PATH, as SHGetSpecialFolderPathW writes
constexpr int kCommonAppData = 0x0023;       // CSIDL_COMMON_APPDATA

static_assert(sizeof(DISPLAY_DEVICEW) == 840, "the adapter record has its documented size");
static_assert(sizeof(DISPLAY_DEVICEW::DeviceID) / sizeof(wchar_t) == kAdapterIdUnits);

// Copies the text of `source` (at most `sourceUnits` units, up to its first
// zero) into `out`, cut to outUnits - 1 and terminated. Returns its length.
uint32_t CopyBounded(const wchar_t* source, uint32_t sourceUnits, char16_t* out, uint32_t outUnits) {
    uint32_t length = 0;
    while (length < sourceUnits && length + 1 < outUnits && source[length] != 0) {
        out[length] = static_cast<char16_t>(source[length]);
        ++length;
    }
    out[length] = 0;
    return length;
}

DWORD Attributes(const char16_t* path) {
    if (path == nullptr || path[0] == 0) return INVALID_FILE_ATTRIBUTES;
    const DWORD attributes = GetFileAttributesW(Wide(path));
    if (attributes == INVALID_FILE_ATTRIBUTES) DropLastError();
    return attributes;
}

}  // namespace

bool ReadMachineRegistryString(const char16_t* subKey, const char16_t* value, char16_t* out, uint32_t outUnits) {
    if (out == nullptr || outUnits == 0) return false;
    std::memset(out, 0, static_cast<size_t>(outUnits) * sizeof(char16_t));
    if (subKey == nullptr) return false;
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(subKey), 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) return false;
    const wchar_t* name = value != nullptr ? Wide(value) : nullptr;

    DWORD size = 0;
    status = RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &size);
    uint32_t length = 0;
    for (int attempt = 0; attempt < kRegistryReadAttempts; ++attempt) {
        if (status != ERROR_SUCCESS || size == 0 || size > kMaxRegistryValueBytes) break;
        // Zero-filled and a whole number of units: an odd byte count or data
        // without a terminator never lead to a read past the data.
        const size_t units = (static_cast<size_t>(size) + 1) / sizeof(wchar_t);
        auto* data = static_cast<wchar_t*>(std::calloc(units, sizeof(wchar_t)));
        if (data == nullptr) break;
        DWORD got = size;
        status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &got);
        if (status == ERROR_MORE_DATA) {
            // The value grew since its size was asked: ask for the new size.
            std::free(data);
            size = got;
            status = ERROR_SUCCESS;
            continue;
        }
        if (status == ERROR_SUCCESS) {
            const DWORD valid = got < size ? got : size;
            length = CopyBounded(data, static_cast<uint32_t>(valid / sizeof(wchar_t)), out, outUnits);
        }
        std::free(data);
        break;
    }
    RegCloseKey(key);
    return length > 0;
}

bool ExecutablePath(char16_t* out, uint32_t outUnits) {
    if (out == nullptr || outUnits == 0) return false;
    const DWORD length = GetModuleFileNameW(nullptr, Wide(out), outUnits);
    if (length == 0 || length >= outUnits) {
        // Failed, or cut to the buffer: no usable path.
        DropLastError();
        out[0] = 0;
        return false;
    }
    return true;
}

bool FileExists(const char16_t* path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

uint32_t ReadIniString(const char16_t* path, const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t outUnits) {
    if (out == nullptr || outUnits == 0) return 0;
    std::memset(out, 0, static_cast<size_t>(outUnits) * sizeof(char16_t));
    // A null section or key would list names instead of reading a value.
    if (path == nullptr || section == nullptr || key == nullptr) return 0;
    DWORD copied = GetPrivateProfileStringW(Wide(section), Wide(key), L"", Wide(out), outUnits, Wide(path));
    if (copied >= outUnits) copied = outUnits - 1;
    out[copied] = 0;
    return copied;
}

bool DisplayAdapterId(uint32_t index, char16_t* out, uint32_t outUnits) {
    if (out == nullptr || outUnits == 0) return false;
    out[0] = 0;
    DISPLAY_DEVICEW device{};
    device.cb = sizeof device;
    // No device name: adapters, not monitors; flags 0: DeviceID is the
    // hardware id.
    if (!EnumDisplayDevicesW(nullptr, index, &device, 0)) return false;
    CopyBounded(device.DeviceID, kAdapterIdUnits, out, outUnits);
    return true;
}

bool CommonAppDataFolder(char16_t* out, uint32_t outUnits) {
    if (out == nullptr || outUnits == 0) return false;
    out[0] = 0;
    wchar_t folder[kShellFolderUnits] = {};
    if (!SHGetSpecialFolderPathW(nullptr, folder, kCommonAppData, FALSE)) return false;
    size_t length = wcsnlen(folder, kShellFolderUnits);
    if (length == kShellFolderUnits) return false;                      // not terminated
    if (length > 0 && folder[length - 1] == L'\\') folder[--length] = 0;  // "C:\" and the like
    if (length == 0 || length >= outUnits) return false;                 // would be cut: not that folder
    CopyBounded(folder, length, out, outUnits);
    return true;
}

bool IsDirectory(const char16_t* path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace os

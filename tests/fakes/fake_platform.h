// Scriptable stand-ins for the platform probes of the OS seam: the display
// adapters, ini values, the common application-data folder and the folders
// that exist. Every probe is counted and logged in order, so tests can check
// which probes ran and in what sequence.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace fake {

struct PlatformState {
    // Back to the state at load: no adapters, no ini values, the common
    // folder "C:\ProgramData", no folders.
    void Reset();

    void SetAdapters(std::vector<std::u16string> ids);
    void SetIniValue(const std::u16string& path, const std::u16string& section, const std::u16string& key,
                     const std::u16string& value);
    void SetCommonFolder(std::optional<std::u16string> folder);  // nullopt: the system offers none
    void AddDirectory(const std::u16string& path);

    // Adapter ids are written over the whole field without a terminator
    // (a device id as long as its field).
    std::atomic<bool> fillWholeAdapterField{false};

    // Counters and the probe log: "adapter:<index>", "ini", "folder", "dir".
    std::atomic<uint32_t> enumerations{0};  // DisplayAdapterId calls with index 0
    std::atomic<uint32_t> iniReads{0};
    std::atomic<uint32_t> lastIniUnits{0};
    std::vector<std::string> Log();
    std::vector<std::u16string> QueriedDirectories();
    // The probe kinds in order, adapter calls at index 0 as "enum" and later
    // indexes left out.
    std::vector<std::string> ProbeSequence();

    // Used by the seam functions.
    bool Adapter(uint32_t index, std::u16string* id);
    std::optional<std::u16string> IniValue(const std::u16string& path, const std::u16string& section,
                                           const std::u16string& key);
    std::optional<std::u16string> CommonFolder();
    bool HasDirectory(const std::u16string& path);
    void Record(std::string entry);

private:
    std::mutex mutex_;
    std::vector<std::u16string> adapters_;
    std::map<std::tuple<std::u16string, std::u16string, std::u16string>, std::u16string> ini_;
    std::optional<std::u16string> folder_ = u"C:\\ProgramData";
    std::vector<std::u16string> directories_;
    std::vector<std::u16string> queried_;
    std::vector<std::string> log_;
};

PlatformState& Platform();

}  // namespace fake

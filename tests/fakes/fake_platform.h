// The platform probes of the OS seam, scripted by tests: display adapters,
// ini values, the common application-data folder and the folders that exist.
// Set the fields while no library call runs; the probes log what they were
// asked, in order.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct PlatformState {
    std::vector<std::u16string> adapters;
    // An id written over its whole field, no terminator, its end at the end.
    bool fillWholeAdapterField = false;
    std::map<std::u16string, std::u16string> ini;  // by IniKey(path, section, key)
    std::optional<std::u16string> commonFolder = u"C:\\ProgramData";
    std::set<std::u16string> directories;

    // The probes so far, separated by spaces: "enum" for an adapter query of
    // index 0 (the start of an enumeration), "ini", "folder", "dir"; and all
    // adapter queries.
    std::string Probes();
    uint32_t AdapterQueries();
    void Record(const char* probe);

    void Reset();  // back to the state at load: no adapters, values or folders
};

PlatformState& Platform();

inline std::u16string IniKey(const std::u16string& path, const std::u16string& section, const std::u16string& key) {
    return path + u"|" + section + u"|" + key;
}

}  // namespace fake

#include "fake_platform.h"

#include <algorithm>

#include "os/os.h"

namespace fake {

PlatformState& Platform() {
    static PlatformState state;
    return state;
}

void PlatformState::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    adapters_.clear();
    ini_.clear();
    folder_ = u"C:\\ProgramData";
    directories_.clear();
    queried_.clear();
    log_.clear();
    fillWholeAdapterField = false;
    enumerations = 0;
    iniReads = 0;
    lastIniUnits = 0;
}

void PlatformState::SetAdapters(std::vector<std::u16string> ids) {
    std::lock_guard<std::mutex> lock(mutex_);
    adapters_ = std::move(ids);
}

void PlatformState::SetIniValue(const std::u16string& path, const std::u16string& section, const std::u16string& key,
                                const std::u16string& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    ini_[{path, section, key}] = value;
}

void PlatformState::SetCommonFolder(std::optional<std::u16string> folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folder_ = std::move(folder);
}

void PlatformState::AddDirectory(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    directories_.push_back(path);
}

std::vector<std::string> PlatformState::Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::vector<std::u16string> PlatformState::QueriedDirectories() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queried_;
}

std::vector<std::string> PlatformState::ProbeSequence() {
    std::vector<std::string> sequence;
    for (const std::string& entry : Log()) {
        if (entry == "adapter:0") sequence.push_back("enum");
        else if (entry.rfind("adapter:", 0) != 0) sequence.push_back(entry);
    }
    return sequence;
}

bool PlatformState::Adapter(uint32_t index, std::u16string* id) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index >= adapters_.size()) return false;
    *id = adapters_[index];
    return true;
}

std::optional<std::u16string> PlatformState::IniValue(const std::u16string& path, const std::u16string& section,
                                                      const std::u16string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = ini_.find({path, section, key});
    if (found == ini_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::u16string> PlatformState::CommonFolder() {
    std::lock_guard<std::mutex> lock(mutex_);
    return folder_;
}

bool PlatformState::HasDirectory(const std::u16string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    queried_.push_back(path);
    return std::find(directories_.begin(), directories_.end(), path) != directories_.end();
}

void PlatformState::Record(std::string entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(std::move(entry));
}

}  // namespace fake

namespace os {

namespace {

// Copies `text` into `out` the way the real calls do: cut to outUnits - 1
// and terminated.
uint32_t CopyOut(const std::u16string& text, char16_t* out, uint32_t outUnits) {
    if (outUnits == 0) return 0;
    const uint32_t units = static_cast<uint32_t>(std::min<size_t>(text.size(), outUnits - 1));
    std::copy(text.begin(), text.begin() + units, out);
    out[units] = 0;
    return units;
}

}  // namespace

uint32_t ReadIniString(const char16_t* path, const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t outUnits) {
    fake::PlatformState& state = fake::Platform();
    state.Record("ini");
    ++state.iniReads;
    state.lastIniUnits = outUnits;
    const auto value = state.IniValue(path, section, key);
    if (!value) return CopyOut(u"", out, outUnits);
    return CopyOut(*value, out, outUnits);
}

bool DisplayAdapterId(uint32_t index, char16_t* out, uint32_t outUnits) {
    fake::PlatformState& state = fake::Platform();
    state.Record("adapter:" + std::to_string(index));
    if (index == 0) ++state.enumerations;
    std::u16string id;
    if (!state.Adapter(index, &id)) return false;
    if (state.fillWholeAdapterField) {
        // Exactly outUnits units, no terminator: the id padded with 'X' in
        // front so that it ends at the field's last unit.
        std::u16string field(outUnits, u'X');
        const size_t n = std::min<size_t>(id.size(), outUnits);
        std::copy(id.end() - static_cast<std::ptrdiff_t>(n), id.end(), field.end() - static_cast<std::ptrdiff_t>(n));
        std::copy(field.begin(), field.end(), out);
        return true;
    }
    CopyOut(id, out, outUnits);
    return true;
}

bool CommonAppDataFolder(char16_t* out, uint32_t outUnits) {
    fake::PlatformState& state = fake::Platform();
    state.Record("folder");
    const auto folder = state.CommonFolder();
    if (!folder) return false;
    if (folder->size() >= outUnits) {
        // Longer than the buffer: the whole buffer, unterminated, as a
        // misbehaving shell would leave it.
        std::copy(folder->begin(), folder->begin() + outUnits, out);
        return true;
    }
    CopyOut(*folder, out, outUnits);
    return true;
}

bool IsDirectory(const char16_t* path) {
    fake::PlatformState& state = fake::Platform();
    state.Record("dir");
    return state.HasDirectory(path);
}

}  // namespace os

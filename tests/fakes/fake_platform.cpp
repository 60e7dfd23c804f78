#include "fakes/fake_platform.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "fakes/hooks.h"
#include "os/os.h"

namespace fake {
namespace {

std::mutex logMutex;
std::string probes;
std::atomic<uint32_t> adapterQueries{0};

// Copies `text` the way the real calls do: cut to outUnits - 1, terminated.
uint32_t CopyOut(const std::u16string& text, char16_t* out, uint32_t outUnits) {
    const uint32_t units = static_cast<uint32_t>(std::min<size_t>(text.size(), outUnits - 1));
    std::copy(text.begin(), text.begin() + units, out);
    out[units] = 0;
    return units;
}

}  // namespace

PlatformState& Platform() {
    static PlatformState state;
    return state;
}

std::string PlatformState::Probes() {
    std::lock_guard<std::mutex> lock(logMutex);
    return probes;
}

uint32_t PlatformState::AdapterQueries() { return adapterQueries; }

void PlatformState::Record(const char* probe) {
    std::lock_guard<std::mutex> lock(logMutex);
    probes += (probes.empty() ? "" : " ") + std::string(probe);
}

void PlatformState::Reset() {
    *this = PlatformState{};
    std::lock_guard<std::mutex> lock(logMutex);
    probes.clear();
    adapterQueries = 0;
}

}  // namespace fake

namespace os {

uint32_t ReadIniString(const char16_t* path, const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t outUnits) {
    fake::Platform().Record("ini");
    const auto& ini = fake::Platform().ini;
    const auto found = ini.find(fake::IniKey(path, section, key));
    return fake::CopyOut(found == ini.end() ? u"" : found->second, out, outUnits);
}

bool DisplayAdapterId(uint32_t index, char16_t* out, uint32_t outUnits) {
    ++fake::adapterQueries;
    if (index == 0) fake::Platform().Record("enum");
    fake::Checkpoint("adapter-enumeration");
    const auto& adapters = fake::Platform().adapters;
    if (index >= adapters.size()) return false;
    const std::u16string& id = adapters[index];
    if (!fake::Platform().fillWholeAdapterField) {
        fake::CopyOut(id, out, outUnits);
        return true;
    }
    const std::u16string field = std::u16string(outUnits - id.size(), u'X') + id;
    std::memcpy(out, field.data(), 2 * outUnits);
    return true;
}

bool CommonAppDataFolder(char16_t* out, uint32_t outUnits) {
    fake::Platform().Record("folder");
    const auto& folder = fake::Platform().commonFolder;
    if (!folder) return false;
    if (folder->size() < outUnits) {
        fake::CopyOut(*folder, out, outUnits);
    } else {  // the whole buffer, unterminated, as a misbehaving shell leaves it
        std::memcpy(out, folder->data(), 2 * outUnits);
    }
    return true;
}

bool IsDirectory(const char16_t* path) {
    fake::Platform().Record("dir");
    return fake::Platform().directories.count(path) != 0;
}

}  // namespace os

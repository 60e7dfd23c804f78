#include "session/companion.h"

#include <string>

#include "link/service.h"
#include "os/os.h"

namespace lmvx {
namespace {

constexpr char16_t kRegistryKeys[][40] = {u"SOFTWARE\\Velliqor\\Lumivex Service", u"SOFTWARE\\Velliqor\\Lumivex"};
constexpr char16_t kRegistryValue[] = u"AppBinary";
constexpr char16_t kFallbackName[] = u"\\Lumivex.exe";
constexpr char16_t kLaunchUrl[] = u"lumivex://run";
constexpr uint32_t kCheckAgainMs = 3000;
constexpr uint32_t kLaunchRoundMs = 1000;
constexpr int kLaunchRounds = 5;

uint32_t Length(const char16_t* text) { return static_cast<uint32_t>(std::char_traits<char16_t>::length(text)); }

// A value holding a quoted path, possibly followed by arguments, becomes the
// bare path: what follows the first quote, then what precedes the last one.
void StripQuotes(char16_t* path) {
    uint32_t n = Length(path);
    uint32_t first = 0;
    while (first < n && path[first] != u'"') ++first;
    if (first == n) return;
    uint32_t out = 0;
    for (uint32_t i = first + 1; i <= n; ++i) path[out++] = path[i];
    n = Length(path);
    for (uint32_t i = n; i > 0; --i) {
        if (path[i - 1] == u'"') {
            path[i - 1] = 0;
            return;
        }
    }
}

bool CompanionWindowPresent() { return os::FindWindowOfClass(kCompanionWindowClass); }

}  // namespace

void FindCompanionAppPath(char16_t* out) {
    out[0] = 0;
    for (const char16_t* key : kRegistryKeys) {
        if (os::ReadMachineRegistryString(key, kRegistryValue, out, kCompanionPathUnits) && out[0] != 0) break;
        out[0] = 0;
    }
    if (out[0] == 0 && os::ExecutablePath(out, kCompanionPathUnits)) {
        uint32_t n = Length(out);
        uint32_t folderEnd = n;
        for (uint32_t i = n; i > 0; --i) {
            if (out[i - 1] == u'\\') {
                folderEnd = i - 1;
                break;
            }
        }
        const uint32_t nameUnits = Length(kFallbackName);
        if (folderEnd + nameUnits + 1 > kCompanionPathUnits) {
            out[0] = 0;  // no room for the name: no path rather than a cut one
        } else {
            for (uint32_t i = 0; i <= nameUnits; ++i) out[folderEnd + i] = kFallbackName[i];
        }
    }
    StripQuotes(out);
}

bool EnsureCompanionApp() {
    if (CompanionWindowPresent()) {
        uint32_t readiness = 0;
        if (ORV::LvxAsService::CheckService(&readiness)) return true;
        os::SleepMs(kCheckAgainMs);
        if (CompanionWindowPresent()) return true;
    }
    char16_t path[kCompanionPathUnits];
    FindCompanionAppPath(path);
    if (path[0] != 0 && os::FileExists(path))
        os::ShellOpen(path, nullptr);
    else
        os::ShellOpen(kLaunchUrl, u".");
    for (int round = 0; round < kLaunchRounds; ++round) {
        os::SleepMs(kLaunchRoundMs);
        if (CompanionWindowPresent()) return true;
    }
    os::SleepMs(kLaunchRoundMs);
    return false;
}

}  // namespace lmvx

// LMVX.dll's resources as a host reads them: every string of the table with
// LoadStringW (texts exact, every other identifier absent), the version
// block with GetFileVersionInfoW and the manifest with FindResourceW.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

const std::map<UINT, std::wstring>& ExpectedStrings() {
    static const std::map<UINT, std::wstring> strings = {
#define LMVX_STRING(id, text) {id, text},
#include "windows/resources_expected.h"
#undef LMVX_STRING
    };
    return strings;
}

std::wstring LibraryPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1) + L"LMVX.dll";
}

class Resources : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW(LibraryPath().c_str());
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
};

TEST_F(Resources, EveryStringIsThereExactlyAndNoOther) {
    ASSERT_EQ(ExpectedStrings().size(), 45u);
    for (const auto& [id, text] : ExpectedStrings()) {
        // Length 0 hands out the resource itself: the whole text, unclipped.
        const wchar_t* resource = nullptr;
        const int length = LoadStringW(module_, id, reinterpret_cast<LPWSTR>(&resource), 0);
        ASSERT_NE(resource, nullptr) << id;
        EXPECT_EQ(std::wstring(resource, static_cast<size_t>(length)), text) << id;
        // And copied into a buffer as a host usually asks for it.
        wchar_t buffer[512] = {};
        EXPECT_EQ(LoadStringW(module_, id, buffer, 512), static_cast<int>(text.size())) << id;
        EXPECT_EQ(std::wstring(buffer), text) << id;
    }
    for (UINT id = 0; id < 1000; ++id) {
        if (ExpectedStrings().count(id) != 0) continue;
        wchar_t buffer[64] = {L'x'};
        EXPECT_EQ(LoadStringW(module_, id, buffer, 64), 0) << id;
    }
    // The table is US English.
    EXPECT_NE(FindResourceExW(module_, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(101 / 16 + 1),
                              MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
              nullptr);
}

TEST_F(Resources, TextsWithLineBreaksAndDoubleSpaces) {
    wchar_t buffer[512] = {};
    ASSERT_GT(LoadStringW(module_, 186, buffer, 512), 0);
    const std::wstring hint = buffer;
    EXPECT_EQ(hint.back(), L'\n');
    EXPECT_EQ(std::count(hint.begin(), hint.end(), L'\n'), 3);
    ASSERT_GT(LoadStringW(module_, 183, buffer, 512), 0);
    EXPECT_NE(std::wstring(buffer).find(L"line.  Then"), std::wstring::npos);
    EXPECT_EQ(LoadStringW(module_, 164, buffer, 512), 0);
}

TEST_F(Resources, VersionBlock) {
    // version.dll is loaded here so that the test needs no import library.
    HMODULE version = LoadLibraryW(L"version.dll");
    ASSERT_NE(version, nullptr);
    using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    const auto size = reinterpret_cast<SizeFn>(GetProcAddress(version, "GetFileVersionInfoSizeW"));
    const auto info = reinterpret_cast<InfoFn>(GetProcAddress(version, "GetFileVersionInfoW"));
    const auto query = reinterpret_cast<QueryFn>(GetProcAddress(version, "VerQueryValueW"));
    ASSERT_TRUE(size != nullptr && info != nullptr && query != nullptr);

    const std::wstring path = LibraryPath();
    DWORD handle = 0;
    const DWORD bytes = size(path.c_str(), &handle);
    ASSERT_GT(bytes, 0u);
    std::vector<BYTE> block(bytes);
    ASSERT_TRUE(info(path.c_str(), 0, bytes, block.data()));

    const std::pair<const wchar_t*, const wchar_t*> strings[] = {
        {L"FileVersion", L"5.3.65.0"},     {L"ProductVersion", L"5.3.65.0"},
        {L"FileDescription", L"Lumivex DLL"}, {L"InternalName", L"LMVX.dll"},
        {L"OriginalFilename", L"LMVX.dll"}, {L"ProductName", L"Lumivex"},
    };
    for (const auto& [name, text] : strings) {
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
        wchar_t* value = nullptr;
        UINT length = 0;
        ASSERT_TRUE(query(block.data(), key.c_str(), reinterpret_cast<LPVOID*>(&value), &length)) << key;
        EXPECT_EQ(std::wstring(value), text) << key;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, (5u << 16) | 3u);
    EXPECT_EQ(fixed->dwFileVersionLS, 65u << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, (5u << 16) | 3u);
    EXPECT_EQ(fixed->dwProductVersionLS, 65u << 16);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(query(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);
    FreeLibrary(version);
}

TEST_F(Resources, ManifestAsksForTheCallersRightsOnly) {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const DWORD bytes = SizeofResource(module_, found);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    ASSERT_NE(data, nullptr);
    const std::string manifest(data, bytes);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos);
    EXPECT_EQ(manifest.find("dependency"), std::string::npos);
    EXPECT_EQ(FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);
}

}  // namespace

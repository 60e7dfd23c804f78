// A host that loads LMVX.dll with LoadLibraryW, finds every feature export
// by its undecorated name and drives it against lumivex-sim.exe running as
// a separate process.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "lmvx.h"

namespace {

std::wstring ProgramDir() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\'));
}

// Runs lumivex-sim.exe with `arguments`; returns its process handle.
HANDLE RunSim(const std::wstring& arguments) {
    const std::wstring program = ProgramDir() + L"\\lumivex-sim.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return nullptr;
    CloseHandle(info.hThread);
    return info.hProcess;
}

// One control command; true when the simulator accepted it.
bool Control(const std::wstring& command) {
    HANDLE process = RunSim(command);
    if (process == nullptr) return false;
    DWORD code = 1;
    if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return code == 0;
}

std::wstring Slot(const LvxChar* slot) {
    std::wstring text;
    for (size_t i = 0; i < LVX_NAME_UNITS && slot[i] != 0; ++i) text.push_back(slot[i]);
    return text;
}

class FeatureHost : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryW((ProgramDir() + L"\\LMVX.dll").c_str());
        ASSERT_NE(module_, nullptr);
        sim_ = RunSim(L"--quiet --run-ms 120000");
        ASSERT_NE(sim_, nullptr);
        // Wait for the simulator's control pipe to answer.
        bool up = false;
        for (int i = 0; i < 20 && !up; ++i) up = Control(L"features 0");
        ASSERT_TRUE(up);
    }
    void TearDown() override {
        if (auto stop = Find<void (*)(bool)>("Stop")) stop(false);
        if (sim_ != nullptr) {
            TerminateProcess(sim_, 0);
            WaitForSingleObject(sim_, 10000);
            CloseHandle(sim_);
        }
        if (module_ != nullptr) FreeLibrary(module_);
    }
    template <typename F>
    F Find(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HMODULE module_ = nullptr;
    HANDLE sim_ = nullptr;
};

#define EXPORT(name) \
    const auto name = Find<decltype(&::name)>(#name); \
    ASSERT_NE(name, nullptr) << #name

TEST_F(FeatureHost, EveryFeatureExportAgainstTheSimulatorProcess) {
    EXPORT(Start);
    EXPORT(GetFeatures);
    EXPORT(EnableAutoColor);
    EXPORT(IsAutoColorEnabled);
    EXPORT(AddAutoColorApp);
    EXPORT(DeleteAutoColorApp);
    EXPORT(SetAutoColorAppMode);
    EXPORT(GetAutoColorTable);
    EXPORT(getSupportedAutoColorMode);
    EXPORT(EnableDesktopPartition);
    EXPORT(IsDesktopPartitionEnabled);
    EXPORT(GetDPSupportedScreens);
    EXPORT(SetDesktopPartition);
    EXPORT(GetDesktopPartition);
    EXPORT(LuanchDesktopPartitionCustomizer);
    EXPORT(EnableSchedule);
    EXPORT(GetSchedule);
    EXPORT(SetScheduleTime);
    EXPORT(GetScheduleTime);
    EXPORT(SetShedulerMode);
    EXPORT(GetShedulerMode);
    EXPORT(SetPowerSavings);
    EXPORT(GetPowerSavings);
    EXPORT(GetHDRStatus);

    // Before Start: the feature word only.
    ASSERT_TRUE(Control(L"features 0xFFFFFFFF"));
    EXPECT_EQ(GetFeatures(), 0xFFFFFFFFu);
    EXPECT_FALSE(GetHDRStatus());
    ASSERT_TRUE(Control(L"hdr 1"));
    EXPECT_FALSE(GetHDRStatus());  // gated

    ASSERT_TRUE(Start());
    EXPECT_TRUE(GetHDRStatus());

    EnableAutoColor(true);
    EXPECT_TRUE(IsAutoColorEnabled());
    AddAutoColorApp(L"Player", L"C:\\Apps\\player.exe");
    AddAutoColorApp(L"Editor", L"C:\\Apps\\editor.exe");
    SetAutoColorAppMode(L"Player", L"Movie");
    DeleteAutoColorApp(L"Editor");
    AutoColorTable table;
    ASSERT_EQ(GetAutoColorTable(&table), 1u);
    EXPECT_EQ(Slot(table.appNames[0]), L"Player");
    EXPECT_EQ(Slot(table.modeNames[0]), L"Movie");
    AutoColorModeList modes;
    getSupportedAutoColorMode(&modes);
    ASSERT_EQ(modes.count, 5u);
    EXPECT_EQ(Slot(modes.modeNames[0]), L"Default");

    EnableDesktopPartition(true);
    EXPECT_TRUE(IsDesktopPartitionEnabled());
    DPScreenList screens;
    ASSERT_EQ(GetDPSupportedScreens(&screens), 2u);
    EXPECT_EQ(Slot(screens.screenNames[1]), L"Screen 2");
    SetDesktopPartition(1, 6);
    EXPECT_EQ(GetDesktopPartition(1), 6u);
    LuanchDesktopPartitionCustomizer();

    EnableSchedule(true);
    EXPECT_TRUE(GetSchedule());
    SetScheduleTime(1, 2, 3, 4);
    uint32_t t[4] = {};
    ASSERT_TRUE(GetScheduleTime(&t[0], &t[1], &t[2], &t[3]));
    EXPECT_EQ(t[0] * 1000 + t[1] * 100 + t[2] * 10 + t[3], 1234u);
    SetShedulerMode(1);
    EXPECT_EQ(GetShedulerMode(), 1);
    SetPowerSavings(true);
    EXPECT_TRUE(GetPowerSavings());
}

}  // namespace

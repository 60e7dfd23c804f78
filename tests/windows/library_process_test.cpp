// LMVX.dll, loaded through its import library, against lumivex-sim.exe run
// as a separate process: the real named pipe, Wine's real Crypt32, the
// companion window and notifications across processes. Also the library with
// no service at all, and unloading it right after Stop.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lmvx.h"
#include "simulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::wstring ProgramDir() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\'));
}

std::wstring ServicePipe() {
    const std::u16string name = sim::SessionPipeName();
    return std::wstring(name.begin(), name.end());
}

// Whether the service pipe of this session exists, waiting up to `wait`.
bool PipeExists(milliseconds wait) {
    const std::wstring name = ServicePipe();
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (WaitNamedPipeW(name.c_str(), 50)) return true;
        if (GetLastError() == ERROR_SEM_TIMEOUT) return true;  // there, every instance busy
        if (Clock::now() >= deadline) return false;
        Sleep(50);
    }
}

// lumivex-sim.exe with its standard output collected.
class SimProcess {
public:
    ~SimProcess() {
        if (process_ != nullptr) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 10000);
            CloseHandle(process_);
        }
        if (reader_.joinable()) reader_.join();
    }

    bool Start(const std::wstring& arguments) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE readEnd = nullptr, writeEnd = nullptr;
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        startup.hStdError = writeEnd;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        const std::wstring program = ProgramDir() + L"\\lumivex-sim.exe";
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        PROCESS_INFORMATION info{};
        const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                            nullptr, &startup, &info);
        CloseHandle(writeEnd);
        if (!started) {
            CloseHandle(readEnd);
            return false;
        }
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        reader_ = std::thread([this, readEnd] {
            char chunk[512];
            DWORD got = 0;
            while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) {
                std::lock_guard<std::mutex> lock(mutex_);
                output_.append(chunk, got);
            }
            CloseHandle(readEnd);
        });
        return true;
    }

    // The exit code, or -1 when the process has not ended within `wait`.
    int Wait(milliseconds wait) {
        if (process_ == nullptr || WaitForSingleObject(process_, static_cast<DWORD>(wait.count())) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        if (reader_.joinable()) reader_.join();
        return static_cast<int>(code);
    }

    std::string Output() {
        std::lock_guard<std::mutex> lock(mutex_);
        return output_;
    }

private:
    HANDLE process_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::string output_;
};

// One control command to the running simulator through its command line.
std::string Control(const std::wstring& command) {
    SimProcess control;
    if (!control.Start(command)) return "error: not started";
    if (control.Wait(milliseconds(30000)) != 0) return "error: " + control.Output();
    return control.Output();
}

std::mutex eventsMutex;
std::vector<LvxDataType> events;
std::vector<DWORD> eventThreads;
// While set, the handler holds the notification thread on a white point
// event, so that what the other process posts meanwhile waits in the queue.
HANDLE holdOnWhitePoint = nullptr;
HANDLE heldOnWhitePoint = nullptr;

void OnEvent(LvxDataType type) {
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        events.push_back(type);
        eventThreads.push_back(GetCurrentThreadId());
    }
    if (type == LVX_EVENT_WHITE_POINT && holdOnWhitePoint != nullptr) {
        SetEvent(heldOnWhitePoint);
        WaitForSingleObject(holdOnWhitePoint, 20000);
    }
}

size_t EventCount(LvxDataType type) {
    std::lock_guard<std::mutex> lock(eventsMutex);
    size_t count = 0;
    for (LvxDataType seen : events) count += seen == type;
    return count;
}

// Runs a program of the system folder (reg.exe) and returns its exit code.
int RunSystemTool(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &info))
        return -1;
    CloseHandle(info.hThread);
    DWORD code = 1;
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

bool EventArrives(LvxDataType type, milliseconds wait) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(eventsMutex);
            for (LvxDataType seen : events)
                if (seen == type) return true;
        }
        if (Clock::now() >= deadline) return false;
        Sleep(20);
    }
}

TEST(LibraryAgainstSimulatorProcess, SessionOverTheRealPipeWithOneExchangePerCall) {
    ASSERT_FALSE(PipeExists(milliseconds(0))) << "another service is serving this session";
    SimProcess service;
    // Serves this long once its pipe is up; the counts it prints at its end
    // are what this test checks the exchanges against.
    ASSERT_TRUE(service.Start(L"--run-ms 6000"));
    ASSERT_TRUE(PipeExists(milliseconds(20000))) << service.Output();
    // The companion window comes up just after the pipe.
    const auto deadline = Clock::now() + milliseconds(10000);
    while (FindWindowW(L"4E5A9108-03C6-432E-A844-176AB58BA406LMVX", nullptr) == nullptr && Clock::now() < deadline)
        Sleep(20);
    ASSERT_NE(FindWindowW(L"4E5A9108-03C6-432E-A844-176AB58BA406LMVX", nullptr), nullptr);

    EXPECT_TRUE(CheckService());                    // 1 exchange (36)
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);  // none while stopped

    SetEventHandler(OnEvent);
    ASSERT_TRUE(Start());  // 36, 1, 32 and the five polling intervals
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);  // 1

    // A notification posted by the other process reaches the handler, which
    // runs on the library's notification thread, never the caller's.
    EXPECT_EQ(Control(L"notify 0x12 70").rfind("ok", 0), 0u);
    EXPECT_TRUE(EventArrives(LVX_EVENT_CONTRAST, milliseconds(5000)));
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        ASSERT_FALSE(eventThreads.empty());
        EXPECT_NE(eventThreads.front(), GetCurrentThreadId());
    }

    // Three values of one code that wait together are delivered once; a
    // different code between them is not merged away.
    holdOnWhitePoint = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    heldOnWhitePoint = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(Control(L"notify 0x14 5").rfind("ok", 0), 0u);
    ASSERT_EQ(WaitForSingleObject(heldOnWhitePoint, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(Control(L"notify 0x10 5 6 7").rfind("ok", 0), 0u);
    EXPECT_EQ(Control(L"notify 0x16 1").rfind("ok", 0), 0u);
    EXPECT_EQ(Control(L"notify 0x10 8").rfind("ok", 0), 0u);
    SetEvent(holdOnWhitePoint);
    EXPECT_TRUE(EventArrives(LVX_EVENT_RED_GAIN, milliseconds(5000)));
    const auto settle = Clock::now() + milliseconds(2000);
    while (EventCount(LVX_EVENT_BRIGHTNESS) < 2 && Clock::now() < settle) Sleep(20);
    Sleep(300);  // a wrongly unmerged value would arrive by now
    EXPECT_EQ(EventCount(LVX_EVENT_BRIGHTNESS), 2u);  // 5, 6, 7 merged; 8 after 0x16
    {
        std::lock_guard<std::mutex> lock(eventsMutex);
        for (DWORD thread : eventThreads) EXPECT_EQ(thread, eventThreads.front());
    }

    // A picture control set in this process is what the other one serves.
    SetContrast(33);                // 1
    EXPECT_EQ(GetContrast(), 33u);  // 1

    // A verified reply with result 0 is a failure, and is not retried.
    EXPECT_EQ(Control(L"result 0").rfind("ok", 0), 0u);
    auto begin = Clock::now();
    EXPECT_FALSE(CheckService());  // 1
    EXPECT_LT(Clock::now() - begin, milliseconds(300)) << "retried after a reply";
    begin = Clock::now();
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);  // 1
    EXPECT_LT(Clock::now() - begin, milliseconds(300));

    Stop(false);  // sends nothing
    SetEventHandler(nullptr);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);
    holdOnWhitePoint = nullptr;

    ASSERT_EQ(service.Wait(milliseconds(30000)), 0) << service.Output();
    EXPECT_NE(service.Output().find("served 14 requests"), std::string::npos) << service.Output();
}

// With no companion window, Start launches the program that the machine's
// registry names (quoted, with arguments after it) and connects to it.
TEST(LibraryWithoutService, StartLaunchesTheCompanionNamedInTheRegistry) {
    ASSERT_FALSE(PipeExists(milliseconds(0)));
    const std::wstring key = L"HKLM\\SOFTWARE\\Velliqor\\Lumivex Service";
    const std::wstring program = ProgramDir() + L"\\lumivex-sim.exe";
    const std::wstring value = L"\\\"" + program + L"\\\" --minimized";
    ASSERT_EQ(RunSystemTool(L"reg.exe add \"" + key + L"\" /v AppBinary /d \"" + value + L"\" /f"), 0);

    EXPECT_TRUE(Start());
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
    Stop(true);

    // The launched service is no child of this process: end it by its window.
    const HWND window = FindWindowW(L"4E5A9108-03C6-432E-A844-176AB58BA406LMVX", nullptr);
    EXPECT_NE(window, nullptr);
    DWORD processId = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &processId);
    if (processId != 0) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
        if (process != nullptr) {
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 10000);
            CloseHandle(process);
        }
    }
    EXPECT_EQ(RunSystemTool(L"reg.exe delete \"" + key + L"\" /f"), 0);
    const auto deadline = Clock::now() + milliseconds(10000);
    while (PipeExists(milliseconds(0)) && Clock::now() < deadline) Sleep(50);
}

TEST(LibraryWithoutService, ExchangesFailAfterThreeAttempts) {
    ASSERT_FALSE(PipeExists(milliseconds(0)));
    const auto begin = Clock::now();
    EXPECT_FALSE(CheckService());
    const auto elapsed = Clock::now() - begin;
    EXPECT_GE(elapsed, milliseconds(300));  // three pauses of 100 ms
    EXPECT_LT(elapsed, milliseconds(5000));
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);
}

// Wine's one display adapter is on none of the lists: the marker folder
// alone makes the platform supported, and a file of its name does not.
TEST(PlatformUnderWine, OnlyTheMarkerFolderMakesWinesMachineSupported) {
    const wchar_t* marker = L"C:\\ProgramData\\Lumivex.test";
    ASSERT_NE(GetFileAttributesW(L"C:\\ProgramData"), INVALID_FILE_ATTRIBUTES);
    RemoveDirectoryW(marker);
    DeleteFileW(marker);
    EXPECT_FALSE(IsPlatformSupported());

    const HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_FALSE(IsPlatformSupported());
    ASSERT_TRUE(DeleteFileW(marker));

    ASSERT_TRUE(CreateDirectoryW(marker, nullptr));
    EXPECT_TRUE(IsPlatformSupported());
    ASSERT_TRUE(RemoveDirectoryW(marker));
    EXPECT_FALSE(IsPlatformSupported());
}

// The notification thread keeps its module loaded: a host that unloads the
// library right after Stop, and loads it again, runs no unmapped code, and
// no window class is left behind pointing into the unloaded image.
TEST(LibraryUnload, FreeLibraryRightAfterStopAndLoadAgainHundredTimes) {
    const std::wstring original = ProgramDir() + L"\\LMVX.dll";
    const std::wstring copy = ProgramDir() + L"\\LMVX_reload.dll";
    ASSERT_TRUE(CopyFileW(original.c_str(), copy.c_str(), FALSE));
    sim::Simulator service;
    ASSERT_TRUE(service.Start());

    constexpr int kRounds = 100;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        HMODULE module = LoadLibraryW(copy.c_str());
        ASSERT_NE(module, nullptr);
        auto start = reinterpret_cast<bool (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Start")));
        auto stop = reinterpret_cast<void (*)(bool)>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Stop")));
        ASSERT_NE(start, nullptr);
        ASSERT_NE(stop, nullptr);
        ASSERT_TRUE(start());
        ASSERT_NE(service.RegisteredWindow(), 0u);
        stop(true);
        FreeLibrary(module);

        const auto deadline = Clock::now() + milliseconds(10000);
        while (GetModuleHandleW(L"LMVX_reload.dll") != nullptr && Clock::now() < deadline) Sleep(20);
        ASSERT_EQ(GetModuleHandleW(L"LMVX_reload.dll"), nullptr) << "the thread's reference was not released";
        WNDCLASSW info{};
        ASSERT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), L"8D973B9B-5716-436B-B5AF-1D5ACF0ED338_lmvxdll", &info));
    }
    EXPECT_EQ(service.SessionEnds(), static_cast<size_t>(kRounds));
    service.Stop();
    DeleteFileW(copy.c_str());
}

}  // namespace

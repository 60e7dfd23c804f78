// What only Windows (Wine here) can show: the backend's Crypt32, registry,
// window-message and named-pipe calls; LMVX.dll against lumivex-sim.exe in
// another process and unloaded right after Stop.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "eventually.h"
#include "lmvx.h"
#include "os/os.h"
#include "pipe_server.h"
#include "simulator.h"

namespace {

const wchar_t kNotificationClass[] = L"8D973B9B-5716-436B-B5AF-1D5ACF0ED338_lmvxdll";

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
const std::wstring kUnique = std::to_wstring(GetCurrentProcessId());  // test names, per process
std::wstring Here(const wchar_t* file) {  // a file beside this program
    wchar_t path[MAX_PATH] = {};
    const std::wstring text(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return text.substr(0, text.find_last_of(L'\\') + 1) + file;
}

// Run with native DLLs preferred (WINEDLLOVERRIDES=crypt32=n,b), so that a
// plain LoadLibraryW would take the Crypt32.dll planted beside this program.
TEST(PlantedCrypt32, IsNeverLoaded) {
    wchar_t overrides[256] = {};
    GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
    if (std::wstring(overrides).find(L"crypt32=n") == std::wstring::npos) GTEST_SKIP() << "needs crypt32=n,b";
    uint8_t block[32] = {};
    EXPECT_TRUE(os::ProtectMemory(block, 32) && os::UnprotectMemory(block, 32));
    EXPECT_EQ(GetEnvironmentVariableW(L"LMVX_PLANTED_CRYPT32", nullptr, 0), 0u) << "the planted Crypt32.dll ran";
}

// HKLM string values as the companion lookup reads them: within their data
// (no terminator, an odd byte count) and cut to the room given.
TEST(Win32Registry, StringValuesAreReadWithinTheirDataAndTheRoom) {
    const std::wstring subKey = L"SOFTWARE\\lmvx-test-" + kUnique;
    for (const auto& [name, bytes] : {std::pair{L"Whole", 18}, {L"Bare", 16}, {L"Odd", 15}})
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, subKey.c_str(), name, REG_SZ, L"C:\\A.exe", bytes), 0);
    const std::tuple<const char16_t*, uint32_t, std::u16string> cases[] = {
        {u"Whole", 16, u"C:\\A.exe"}, {u"Whole", 4, u"C:\\"}, {u"Bare", 16, u"C:\\A.exe"}, {u"Odd", 16, u"C:\\A.ex"}, {u"None", 16, u""}};
    for (const auto& [name, units, expected] : cases) {
        std::u16string out(units + 1, u'#');  // watching one unit past the room
        EXPECT_EQ(os::ReadMachineRegistryString(U16(subKey).c_str(), name, out.data(), units), !expected.empty());
        EXPECT_EQ(std::u16string(out.c_str()) + out[units], expected + u'#') << units;
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey.c_str());
}

struct Received { uint32_t message; uint64_t wParam, lParam; };
thread_local std::vector<Received> received;

bool Record(uint32_t message, uint64_t wParam, uint64_t lParam) {
    if (message < WM_USER) return false;  // the window's own traffic
    received.push_back({message, wParam, lParam});
    if (message == WM_USER + 99) os::PostQuit(0);
    return true;
}

// Full 64-bit values from another thread; the merge takes only messages of
// the same code compared in full width, from the front of the queue; a
// closed window takes no more.
TEST(Win32Window, MessagesMerge) {
    received.clear();
    const std::u16string className = U16(L"lmvx-test-class-" + kUnique);
    const uint64_t window = os::CreateNotificationWindow(className.c_str(), u"Lumivex", Record);
    const uint64_t wide = (uint64_t{1} << 32) | 0x10;
    std::thread([&] {
        for (const Received& post : {Received{0x9001, 0x10, 5}, {WM_USER + 1, 0x10, ~0ull}, {0x9001, 0x10, 6},
                                     {0x9001, wide, 7}, {0x9001, 0x10, 8}, {WM_USER + 99, 0, 0}})
            EXPECT_TRUE(os::PostWindowMessage(window, post.message, post.wParam, post.lParam));
    }).join();
    uint64_t value = 0;
    EXPECT_TRUE(os::TakeWaitingMessage(window, 0x9001, 0x10, &value) && value == 5);
    EXPECT_TRUE(os::TakeWaitingMessage(window, 0x9001, 0x10, &value) && value == 6);
    EXPECT_FALSE(os::TakeWaitingMessage(window, 0x9001, 0x10, &value)) << "compared in 32 bits";
    os::RunMessageLoop();
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].lParam, ~0ull);
    EXPECT_EQ(received[1].wParam, wide);
    EXPECT_EQ(received[2].lParam, 8u);
    os::CloseNotificationWindow(window);
    EXPECT_FALSE(os::PostWindowMessage(window, WM_USER, 0, 0));
}

// One message each way: a reply of up to the capacity, an empty one, none
// beyond it, and nothing without a server.
TEST(Win32Pipe, OneMessageEachWayWithinTheReplyCapacity) {
    const std::u16string name = U16(L"\\\\.\\pipe\\lmvx-test-" + kUnique);
    auto server = sim::CreatePipeServer();
    ASSERT_TRUE(server->Start(name, [](const uint8_t*, size_t size) {  // the reply's size is the request's
        return sim::Response{size != 2, std::vector<uint8_t>(size == 1 ? 0 : size, 0x43)};  // 2: no reply
    }, 4));
    std::vector<uint8_t> buffer(12049);
    uint32_t got = 7;
    const auto transact = [&](uint32_t size) {
        return os::TransactPipe(name.c_str(), buffer.data(), size, buffer.data(), 12048, &got, 15000);
    };
    EXPECT_TRUE(transact(12048) && got == 12048);
    EXPECT_TRUE(transact(1) && got == 0);
    EXPECT_FALSE(transact(12049));
    EXPECT_FALSE(transact(2));
    server->Stop();
    got = 7;
    EXPECT_TRUE(!transact(10) && got == 7) << "no server";
}

// LMVX.dll against the simulator serving from this process.
class Session : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.Start()); }
    void TearDown() override {
        Stop(false);
        SetEventHandler(nullptr);
    }
    sim::Simulator sim_;
};

HANDLE handlerThread = nullptr;  // the thread of the first call, once it has stopped
void StopInsideTheHandler(LvxDataType) {
    if (handlerThread != nullptr) return;
    Stop(false);
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handlerThread, SYNCHRONIZE, FALSE, 0);
}

// Notifications reach the handler on the library's thread; Stop from there
// returns, and that thread ends.
TEST_F(Session, StopInsideTheHandlerReturnsAndTheThreadEnds) {
    handlerThread = nullptr;
    SetEventHandler(StopInsideTheHandler);
    ASSERT_TRUE(Start());
    for (uint64_t value = 0; value < 5; ++value) ASSERT_TRUE(sim_.Notify(LVX_EVENT_CONTRAST, value));
    ASSERT_TRUE(Eventually([] { return handlerThread != nullptr; }));
    EXPECT_NE(GetThreadId(handlerThread), GetCurrentThreadId());
    EXPECT_EQ(WaitForSingleObject(handlerThread, 20000), WAIT_OBJECT_0);
    CloseHandle(handlerThread);
}

// Set for every thread of this process: the library's window cannot be created.
LRESULT CALLBACK RefuseNotificationWindow(int code, WPARAM wParam, LPARAM lParam) {
    wchar_t name[64] = {};
    const bool refused = code == HCBT_CREATEWND && GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64) > 0 &&
                         std::wstring(name) == kNotificationClass;
    return refused ? 1 : CallNextHookEx(nullptr, code, wParam, lParam);
}
std::atomic<bool> delivered{false};

// The notification thread keeps its module loaded: a host that unloads the
// library right after Stop runs no unmapped code, and no window class is
// left pointing into the unloaded image, not even by a window that could not
// be created. A registration of the class by other code is never used.
TEST_F(Session, FreeLibraryRightAfterStopAndLoadAgain) {
    const std::wstring copy = Here(L"LMVX_reload.dll");
    ASSERT_TRUE(CopyFileW(Here(L"LMVX.dll").c_str(), copy.c_str(), FALSE));
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        const HMODULE module = LoadLibraryW(copy.c_str());
        const auto start = reinterpret_cast<bool (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Start")));
        const auto stop = reinterpret_cast<void (*)(bool)>(reinterpret_cast<void (*)()>(GetProcAddress(module, "Stop")));
        ASSERT_TRUE(start != nullptr && stop != nullptr && start());
        stop(true);
        if (round == 0) {
            const HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseNotificationWindow, GetModuleHandleW(nullptr), 0);
            EXPECT_FALSE(hook == nullptr || start());
            UnhookWindowsHookEx(hook);
        }
        FreeLibrary(module);
        ASSERT_TRUE(Eventually([] { return GetModuleHandleW(L"LMVX_reload.dll") == nullptr; }));
        WNDCLASSW info{};
        ASSERT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), kNotificationClass, &info));
    }
    EXPECT_EQ(sim_.SessionEnds(), 50u);
    DeleteFileW(copy.c_str());
    const WNDCLASSW other{.lpfnWndProc = DefWindowProcW, .hInstance = GetModuleHandleW(nullptr), .lpszClassName = kNotificationClass};
    ASSERT_NE(RegisterClassW(&other), 0);
    SetEventHandler([](LvxDataType) { delivered = true; });
    ASSERT_TRUE(Start() && sim_.Notify(LVX_EVENT_CONTRAST, 1));
    EXPECT_TRUE(Eventually([] { return delivered.load(); })) << "the other class's procedure took it";
}

}  // namespace

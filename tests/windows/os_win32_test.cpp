// The Windows backend of the OS seam on its own, against the real system
// calls (under Wine here): protection, registry, files, ini, adapters, the
// notification window, apartments and the pipe transaction with the
// simulator's named-pipe server.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "os/os.h"
#include "pipe_server.h"

namespace {

using Clock = std::chrono::steady_clock;

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

std::wstring Unique(const wchar_t* stem) {
    static std::atomic<int> counter{0};
    return std::wstring(stem) + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

// ---- Protection ----------------------------------------------------------------

TEST(Win32Protection, RoundTripsWholeBlocksAndRefusesOtherSizes) {
    std::vector<uint8_t> block(12032);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::vector<uint8_t> original = block;
    ASSERT_TRUE(os::ProtectMemory(block.data(), static_cast<uint32_t>(block.size())));
    ASSERT_TRUE(os::UnprotectMemory(block.data(), static_cast<uint32_t>(block.size())));
    EXPECT_EQ(block, original);

    for (uint32_t size : {0u, 15u, 17u, 12031u}) {
        std::vector<uint8_t> odd(size + 1, 0x5A);
        EXPECT_FALSE(os::ProtectMemory(odd.data(), size)) << size;
        EXPECT_FALSE(os::UnprotectMemory(odd.data(), size)) << size;
    }
    EXPECT_FALSE(os::ProtectMemory(nullptr, 16));
}

TEST(Win32Protection, Crypt32IsLoadedFromTheSystemFolder) {
    uint8_t block[16] = {};
    ASSERT_TRUE(os::ProtectMemory(block, sizeof block));
    HMODULE crypt32 = GetModuleHandleW(L"crypt32.dll");
    ASSERT_NE(crypt32, nullptr);
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(crypt32, path, MAX_PATH), 0u);
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    EXPECT_EQ(_wcsnicmp(path, system, wcslen(system)), 0) << "loaded from elsewhere";
}

// ---- Session, time, threads ------------------------------------------------------

TEST(Win32Session, SessionIdIsTheProcessSession) {
    uint32_t id = 0xFFFFFFFF;
    ASSERT_TRUE(os::QuerySessionId(&id));
    DWORD expected = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &expected));
    EXPECT_EQ(id, expected);
    EXPECT_FALSE(os::QuerySessionId(nullptr));
}

TEST(Win32Threads, DetachedThreadRunsItsEntryWithTheArgument) {
    struct Seen {
        std::atomic<DWORD> thread{0};
        HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    } seen;
    ASSERT_TRUE(os::StartDetachedThread(
        [](void* argument) {
            auto* s = static_cast<Seen*>(argument);
            s->thread = GetCurrentThreadId();
            SetEvent(s->done);
        },
        &seen));
    ASSERT_EQ(WaitForSingleObject(seen.done, 5000), WAIT_OBJECT_0);
    EXPECT_NE(seen.thread.load(), GetCurrentThreadId());
    CloseHandle(seen.done);
    EXPECT_FALSE(os::StartDetachedThread(nullptr, nullptr));
}

TEST(Win32Threads, LockIsRecursiveOnItsOwner) {
    os::LockStorage lock;
    os::InitializeLock(&lock);
    os::EnterLock(&lock);
    os::EnterLock(&lock);
    std::atomic<bool> entered{false};
    std::thread other([&] {
        os::EnterLock(&lock);
        entered = true;
        os::LeaveLock(&lock);
    });
    Sleep(50);
    EXPECT_FALSE(entered.load());
    os::LeaveLock(&lock);
    Sleep(50);
    EXPECT_FALSE(entered.load()) << "released after one of two entries";
    os::LeaveLock(&lock);
    other.join();
    EXPECT_TRUE(entered.load());
}

TEST(Win32Threads, ApartmentIsSingleThreadedAndEndsAgain) {
    std::thread([] {
        os::EnterApartment();
        // Already a single-threaded apartment: a multi-threaded one is refused.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        os::LeaveApartment();
        const HRESULT again = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(again, S_OK) << "the apartment was not left";
        if (SUCCEEDED(again)) CoUninitialize();
        os::LeaveApartment();  // unbalanced: does nothing
    }).join();
}

// ---- Registry ----------------------------------------------------------------------

class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        subKey_ = L"SOFTWARE\\lmvx-test-" + Unique(L"");
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, subKey_.c_str());
    }
    void Set(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    }
    std::u16string SubKey() const { return U16(subKey_); }

    std::wstring subKey_;
    HKEY key_ = nullptr;
};

TEST_F(Win32Registry, ReadsTextWithinTheDataAndTheBuffer) {
    const wchar_t path[] = L"C:\\Program Files\\Lumivex\\Lumivex.exe";
    Set(L"Plain", REG_SZ, path, sizeof path);
    Set(L"Unterminated", REG_BINARY, L"abcd", 4 * sizeof(wchar_t));
    const uint8_t odd[] = {'x', 0, 'y', 0, 'z'};  // two units and a stray byte
    Set(L"Odd", REG_BINARY, odd, sizeof odd);
    const wchar_t embedded[] = L"first\0second";
    Set(L"Embedded", REG_SZ, embedded, sizeof embedded);
    Set(L"Empty", REG_SZ, L"", 0);
    Set(L"Zero", REG_SZ, L"", sizeof(wchar_t));
    std::wstring longText(5000, L'q');
    Set(L"Long", REG_SZ, longText.c_str(), static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));

    struct Case {
        const char16_t* value;
        uint32_t units;
        bool found;
        std::wstring text;
    } cases[] = {
        {u"Plain", 300, true, path},
        {u"Unterminated", 300, true, L"abcd"},
        {u"Odd", 300, true, L"xy"},
        {u"Embedded", 300, true, L"first"},
        {u"Empty", 300, false, L""},
        {u"Zero", 300, false, L""},
        {u"Missing", 300, false, L""},
        {u"Plain", 4, true, L"C:\\"},  // cut to the buffer less one
        {u"Long", 300, true, std::wstring(299, L'q')},
    };
    const std::u16string subKey = SubKey();
    for (const Case& c : cases) {
        std::vector<char16_t> out(c.units + 1, u'#');
        out[c.units] = u'!';  // beyond the buffer: must stay
        EXPECT_EQ(os::ReadMachineRegistryString(subKey.c_str(), c.value, out.data(), c.units), c.found)
            << W(c.value);
        EXPECT_EQ(W(out.data()), c.text) << W(c.value);
        EXPECT_EQ(out[c.units], u'!') << W(c.value);
    }
    char16_t out[8];
    EXPECT_FALSE(os::ReadMachineRegistryString(u"SOFTWARE\\lmvx-no-such-key", u"Plain", out, 8));
    EXPECT_EQ(out[0], 0);
    EXPECT_FALSE(os::ReadMachineRegistryString(subKey.c_str(), u"Plain", out, 0));
}

// ---- Files, folders, ini, adapters ---------------------------------------------------

class Win32Files : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        // Past 128 characters and outside any ANSI code page.
        root_ = std::wstring(temp) + Unique(L"lmvx-\x03A9\x4E2D-") + L"-" + std::wstring(120, L'd');
        ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::wstring& file : files_) {
            SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(file.c_str());
        }
        for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) {
            SetFileAttributesW(it->c_str(), FILE_ATTRIBUTE_NORMAL);
            RemoveDirectoryW(it->c_str());
        }
        RemoveDirectoryW(root_.c_str());
    }
    std::wstring File(const wchar_t* name, const std::string& content) {
        const std::wstring path = root_ + L"\\" + name;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
        files_.push_back(path);
        return path;
    }
    std::wstring Dir(const wchar_t* name, DWORD attributes) {
        const std::wstring path = root_ + L"\\" + name;
        EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        if (attributes != 0) SetFileAttributesW(path.c_str(), attributes);
        dirs_.push_back(path);
        return path;
    }

    std::wstring root_;
    std::vector<std::wstring> files_, dirs_;
};

TEST_F(Win32Files, FileAndFolderTestsUseTheWidePath) {
    const std::u16string file = U16(File(L"Lumivex.exe", "MZ"));
    const std::u16string folder = U16(Dir(L"Lumivex.test", 0));
    const std::u16string hidden = U16(Dir(L"hidden", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    const std::u16string missing = U16(root_ + L"\\missing");
    ASSERT_GT(file.size(), 128u);
    struct Case {
        const std::u16string* path;
        bool file, directory;
    } cases[] = {{&file, true, false}, {&folder, false, true}, {&hidden, false, true}, {&missing, false, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(os::FileExists(c.path->c_str()), c.file) << W(c.path->c_str());
        EXPECT_EQ(os::IsDirectory(c.path->c_str()), c.directory) << W(c.path->c_str());
    }
    EXPECT_FALSE(os::FileExists(u""));
    EXPECT_FALSE(os::IsDirectory(nullptr));
}

TEST_F(Win32Files, IniReadsWithTheProfileContract) {
    const std::wstring ini = File(L"bios.ini",
                                  "[BIOS Strings]\r\nFeatureByte=ab nT cd\r\nLong=" + std::string(40, 'x') +
                                      "\r\nEmpty=\r\n");
    const std::u16string path = U16(ini);
    struct Case {
        const char16_t* section;
        const char16_t* key;
        uint32_t units;
        uint32_t copied;
        std::wstring text;
    } cases[] = {
        {u"BIOS Strings", u"FeatureByte", 1024, 8, L"ab nT cd"},
        {u"bios strings", u"featurebyte", 1024, 8, L"ab nT cd"},
        {u"BIOS Strings", u"Long", 11, 10, std::wstring(10, L'x')},
        {u"BIOS Strings", u"Empty", 1024, 0, L""},
        {u"BIOS Strings", u"Missing", 1024, 0, L""},
        {u"Other", u"FeatureByte", 1024, 0, L""},
    };
    for (const Case& c : cases) {
        std::vector<char16_t> out(c.units + 1, u'#');
        out[c.units] = u'!';
        EXPECT_EQ(os::ReadIniString(path.c_str(), c.section, c.key, out.data(), c.units), c.copied) << W(c.key);
        EXPECT_EQ(W(out.data()), c.text) << W(c.key);
        EXPECT_EQ(out[c.units], u'!');
    }
    char16_t out[16];
    const std::u16string absent = U16(root_ + L"\\absent.ini");
    EXPECT_EQ(os::ReadIniString(absent.c_str(), u"BIOS Strings", u"FeatureByte", out, 16), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(os::ReadIniString(path.c_str(), nullptr, u"FeatureByte", out, 16), 0u);
}

// The machine's own BIOS file, at the fixed path the platform probe reads.
TEST(Win32Platform, BiosIniIsReadAtItsFixedPath) {
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Korvath", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW(L"C:\\Korvath\\BIN", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    const wchar_t* path = L"C:\\Korvath\\BIN\\rstone_bbv2.ini";
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char text[] = "[BIOS Strings]\r\nFeatureByte=0123nSx9\r\n";
    DWORD written = 0;
    WriteFile(file, text, sizeof text - 1, &written, nullptr);
    CloseHandle(file);

    char16_t out[1024];
    EXPECT_EQ(os::ReadIniString(u"C:\\Korvath\\BIN\\rstone_bbv2.ini", u"BIOS Strings", u"FeatureByte", out, 1024), 8u);
    EXPECT_EQ(std::u16string(out), u"0123nSx9");
    DeleteFileW(path);
    RemoveDirectoryW(L"C:\\Korvath\\BIN");
    RemoveDirectoryW(L"C:\\Korvath");
    EXPECT_EQ(os::ReadIniString(u"C:\\Korvath\\BIN\\rstone_bbv2.ini", u"BIOS Strings", u"FeatureByte", out, 1024), 0u);
}

TEST(Win32Platform, AdaptersAreHardwareIdsAndEndTheEnumeration) {
    char16_t id[128];
    uint32_t count = 0;
    while (count < 64 && os::DisplayAdapterId(count, id, 128)) {
        EXPECT_EQ(W(id).rfind(L"PCI\\VEN_", 0), 0u) << W(id);
        ++count;
    }
    EXPECT_GE(count, 1u);
    EXPECT_LT(count, 64u);
    EXPECT_FALSE(os::DisplayAdapterId(count, id, 128));
    char16_t small[5] = {u'#', u'#', u'#', u'#', u'!'};
    ASSERT_TRUE(os::DisplayAdapterId(0, small, 4));
    EXPECT_EQ(W(small), L"PCI");
    EXPECT_EQ(small[4], u'!');
}

TEST(Win32Platform, CommonAppDataIsAnExistingFolderWithoutTrailingSeparator) {
    char16_t folder[260];
    ASSERT_TRUE(os::CommonAppDataFolder(folder, 260));
    const std::wstring text = W(folder);
    ASSERT_FALSE(text.empty());
    EXPECT_NE(text.back(), L'\\');
    EXPECT_TRUE(os::IsDirectory(folder));
    char16_t tiny[3];
    EXPECT_FALSE(os::CommonAppDataFolder(tiny, 3));
}

TEST(Win32Platform, ExecutablePathIsThisProgramAndNeverCut) {
    char16_t path[1024];
    ASSERT_TRUE(os::ExecutablePath(path, 1024));
    const std::wstring text = W(path);
    EXPECT_NE(text.find(L"lmvx_windows_tests.exe"), std::wstring::npos) << text;
    char16_t small[6] = {u'#'};
    EXPECT_FALSE(os::ExecutablePath(small, 6));
    EXPECT_EQ(small[0], 0);
}

// ---- Notification window -------------------------------------------------------------

struct Received {
    uint32_t message;
    uint64_t wParam, lParam;
};
thread_local std::vector<Received>* received = nullptr;

bool RecordingHandler(uint32_t message, uint64_t wParam, uint64_t lParam) {
    if (message < WM_USER) return false;  // the window's own traffic: default
    if (received != nullptr) received->push_back({message, wParam, lParam});
    if (message == WM_USER + 99) os::PostQuit(0);
    return true;
}

class Win32Window : public ::testing::Test {
protected:
    void SetUp() override {
        className_ = U16(Unique(L"lmvx-test-class-"));
        received = &seen_;
        window_ = os::CreateNotificationWindow(className_.c_str(), u"Lumivex", RecordingHandler);
        ASSERT_NE(window_, 0u);
    }
    void TearDown() override {
        if (window_ != 0) os::CloseNotificationWindow(window_);
        received = nullptr;
    }
    void Post(uint32_t message, uint64_t wParam, uint64_t lParam) {
        ASSERT_TRUE(os::PostWindowMessage(window_, message, wParam, lParam));
    }

    std::u16string className_;
    uint64_t window_ = 0;
    std::vector<Received> seen_;
};

TEST_F(Win32Window, IsAHiddenPopupOfItsClassAndTitle) {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(window_));
    EXPECT_TRUE(os::WindowExists(window_));
    EXPECT_TRUE(os::FindWindowOfClass(className_.c_str()));
    EXPECT_FALSE(os::FindWindowOfClass(u"lmvx-no-such-class"));
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & ~WS_CLIPSIBLINGS, WS_POPUP);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    wchar_t title[32] = {};
    GetWindowTextW(hwnd, title, 32);
    EXPECT_STREQ(title, L"Lumivex");
    EXPECT_EQ(GetWindowThreadProcessId(hwnd, nullptr), GetCurrentThreadId());
}

TEST_F(Win32Window, TakesOnlyTheFrontMessageOfTheSameFullWidthCode) {
    constexpr uint32_t kNotify = 0x9001;
    const uint64_t wide = (uint64_t{1} << 32) | 0x10;  // equal to 0x10 in its low half only
    Post(kNotify, 0x10, 5);
    Post(WM_USER + 1, 0x10, 0);  // other messages neither stop nor join a run
    Post(kNotify, 0x10, 6);
    Post(kNotify, wide, 7);
    Post(kNotify, 0x10, 8);
    uint64_t value = 0;
    ASSERT_TRUE(os::TakeWaitingMessage(window_, kNotify, 0x10, &value));
    EXPECT_EQ(value, 5u);
    ASSERT_TRUE(os::TakeWaitingMessage(window_, kNotify, 0x10, &value));
    EXPECT_EQ(value, 6u);
    EXPECT_FALSE(os::TakeWaitingMessage(window_, kNotify, 0x10, &value)) << "compared in 32 bits";
    EXPECT_EQ(value, 6u);
    EXPECT_FALSE(os::TakeWaitingMessage(window_, kNotify + 1, 0x10, &value));

    Post(WM_USER + 99, 0, 0);  // ends the loop
    os::RunMessageLoop();
    ASSERT_EQ(seen_.size(), 4u);
    EXPECT_EQ(seen_[0].message, static_cast<uint32_t>(WM_USER + 1));
    EXPECT_EQ(seen_[1].wParam, wide);
    EXPECT_EQ(seen_[1].lParam, 7u);
    EXPECT_EQ(seen_[2].wParam, 0x10u);
    EXPECT_EQ(seen_[2].lParam, 8u);
    EXPECT_EQ(seen_[3].message, static_cast<uint32_t>(WM_USER + 99));
}

TEST_F(Win32Window, MessagesFromAnotherThreadArriveWithFullValues) {
    const uint64_t big = 0x8000000000000001ull;
    std::thread([&] {
        EXPECT_TRUE(os::PostWindowMessage(window_, WM_USER + 2, big, big));
        EXPECT_TRUE(os::PostWindowMessage(window_, WM_USER + 99, 0, 0));
    }).join();
    os::RunMessageLoop();
    ASSERT_EQ(seen_.size(), 2u);
    EXPECT_EQ(seen_[0].wParam, big);
    EXPECT_EQ(seen_[0].lParam, big);
}

TEST_F(Win32Window, ClosingDestroysTheWindowAndReleasesTheClass) {
    const std::wstring name = W(className_.c_str());
    WNDCLASSW info{};
    ASSERT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), name.c_str(), &info));
    os::CloseNotificationWindow(window_);
    EXPECT_FALSE(os::WindowExists(window_));
    EXPECT_FALSE(os::PostWindowMessage(window_, WM_USER, 0, 0));
    EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), name.c_str(), &info)) << "class left registered";
    // The same class again, as a later session makes it.
    window_ = os::CreateNotificationWindow(className_.c_str(), u"Lumivex", RecordingHandler);
    ASSERT_NE(window_, 0u);
    EXPECT_TRUE(os::WindowExists(window_));
}

TEST_F(Win32Window, TwoWindowsOfOneClassKeepTheClassUntilTheLastCloses) {
    std::atomic<uint64_t> other{0};
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread thread([&] {
        other = os::CreateNotificationWindow(className_.c_str(), u"Lumivex", RecordingHandler);
        SetEvent(created);
        WaitForSingleObject(release, 10000);
        if (other != 0) os::CloseNotificationWindow(other);
    });
    ASSERT_EQ(WaitForSingleObject(created, 10000), WAIT_OBJECT_0);
    ASSERT_NE(other.load(), 0u);
    os::CloseNotificationWindow(window_);
    window_ = 0;
    WNDCLASSW info{};
    EXPECT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), W(className_.c_str()).c_str(), &info));
    EXPECT_TRUE(os::WindowExists(other));
    SetEvent(release);
    thread.join();
    EXPECT_FALSE(GetClassInfoW(GetModuleHandleW(nullptr), W(className_.c_str()).c_str(), &info));
    CloseHandle(created);
    CloseHandle(release);
}

// ---- Pipe transaction and the named-pipe server ---------------------------------------

class Win32Pipe : public ::testing::Test {
protected:
    // More instances than concurrent clients: CallNamedPipeW waits for a
    // free instance once, and a client that loses the race for it to another
    // fails with ERROR_PIPE_BUSY.
    static constexpr int kWorkers = 16;

    void SetUp() override {
        name_ = U16(L"\\\\.\\pipe\\" + Unique(L"lmvx-test-pipe-"));
        server_ = sim::CreatePipeServer();
        ASSERT_TRUE(server_->Start(
            name_,
            [this](const uint8_t* data, size_t size) {
                lastSize_ = size;
                sim::Response response;
                const std::string text(reinterpret_cast<const char*>(data), std::min<size_t>(size, 16));
                if (text.rfind("silent", 0) == 0) response.answer = false;
                else if (text.rfind("empty", 0) == 0) response.bytes.clear();
                else if (text.rfind("big", 0) == 0) response.bytes.assign(12049, 0x42);
                else if (text.rfind("full", 0) == 0) response.bytes.assign(12048, 0x43);
                else response.bytes.assign(data, data + size);  // echo
                return response;
            },
            kWorkers));
    }
    void TearDown() override {
        if (server_) server_->Stop();
    }
    bool Transact(const std::string& request, std::vector<uint8_t>* reply, uint32_t* received) {
        std::vector<uint8_t> buffer(std::max<size_t>(request.size(), 12048), 0);
        std::memcpy(buffer.data(), request.data(), request.size());
        *received = 0xFFFFFFFF;
        const bool ok = os::TransactPipe(name_.c_str(), buffer.data(), static_cast<uint32_t>(request.size()),
                                         buffer.data(), 12048, received, 15000);
        reply->assign(buffer.begin(), buffer.begin() + 12048);
        return ok;
    }

    std::u16string name_;
    std::unique_ptr<sim::PipeServer> server_;
    std::atomic<size_t> lastSize_{0};
};

TEST_F(Win32Pipe, OneMessageEachWayWithinTheReplyCapacity) {
    std::vector<uint8_t> reply;
    uint32_t received = 0;
    ASSERT_TRUE(Transact(std::string("hello pipe"), &reply, &received));
    EXPECT_EQ(received, 10u);
    EXPECT_EQ(std::memcmp(reply.data(), "hello pipe", 10), 0);

    ASSERT_TRUE(Transact("full", &reply, &received));
    EXPECT_EQ(received, 12048u);
    EXPECT_EQ(reply[12047], 0x43);

    ASSERT_TRUE(Transact("empty", &reply, &received)) << "a zero-length reply is a reply";
    EXPECT_EQ(received, 0u);

    EXPECT_FALSE(Transact("big", &reply, &received)) << "longer than the capacity";
    EXPECT_FALSE(Transact("silent", &reply, &received)) << "closed without a reply";

    // The server still serves after each of these.
    ASSERT_TRUE(Transact("again", &reply, &received));
    EXPECT_EQ(received, 5u);
}

TEST_F(Win32Pipe, AnOversizedRequestIsSeenWhole) {
    std::vector<uint8_t> request(70000, 'r');
    std::vector<uint8_t> reply(12048);
    uint32_t received = 0;
    os::TransactPipe(name_.c_str(), request.data(), static_cast<uint32_t>(request.size()), reply.data(), 12048,
                     &received, 15000);
    EXPECT_GT(lastSize_.load(), 65536u) << "the server saw only part of it";
}

TEST_F(Win32Pipe, ConcurrentTransactionsEachGetTheirOwnReply) {
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const std::string request = "client " + std::to_string(t) + " call " + std::to_string(i);
                std::vector<uint8_t> reply(12048);
                uint32_t received = 0;
                if (os::TransactPipe(name_.c_str(), request.data(), static_cast<uint32_t>(request.size()),
                                     reply.data(), 12048, &received, 15000) &&
                    received == request.size() && std::memcmp(reply.data(), request.data(), received) == 0)
                    ++good;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(good.load(), 40);
}

TEST_F(Win32Pipe, MissingPipeFailsAtOnceAndStopIsPrompt) {
    const std::u16string missing = U16(L"\\\\.\\pipe\\" + Unique(L"lmvx-no-pipe-"));
    uint8_t buffer[16] = {};
    uint32_t received = 7;
    auto begin = Clock::now();
    EXPECT_FALSE(os::TransactPipe(missing.c_str(), buffer, sizeof buffer, buffer, sizeof buffer, &received, 15000));
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(2));
    EXPECT_EQ(received, 7u);

    // A second server cannot take over a served pipe.
    auto second = sim::CreatePipeServer();
    EXPECT_FALSE(second->Start(name_, [](const uint8_t*, size_t) { return sim::Response{}; }, 1));

    begin = Clock::now();  // every worker waits for a client
    server_->Stop();
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(2));
    EXPECT_FALSE(os::TransactPipe(name_.c_str(), buffer, sizeof buffer, buffer, sizeof buffer, &received, 1000));
    server_.reset();
}

}  // namespace

/* A host built the Visual Studio way: clang-cl for the MSVC ABI, the
 * archive's lmvx.h and LMVX.lib only, no C runtime. One session against
 * lumivex-sim.exe, an export linked and one loaded on demand, a string read;
 * one line per step, exit code 0 when all held. */
#include "lmvx.h"

typedef void* HANDLE;
typedef void (*FARPROC)(void);
__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);
__declspec(dllimport) HANDLE __stdcall LoadLibraryW(const wchar_t* name);
__declspec(dllimport) FARPROC __stdcall GetProcAddress(HANDLE module, const char* name);
__declspec(dllimport) int __stdcall LoadStringW(HANDLE module, unsigned id, wchar_t* text, int room);

static int failures;

/* "STEP NUMBER ok" or "STEP NUMBER FAILED". */
static void Print(const char* step, uint32_t number, bool ok) {
    char line[64], digits[10];
    int n = 0, count = 0;
    while (*step) line[n++] = *step++;
    do digits[count++] = (char)('0' + number % 10), number /= 10; while (number);
    while (count) line[n++] = digits[--count];
    for (const char* verdict = ok ? " ok\n" : " FAILED\n"; *verdict;) line[n++] = *verdict++;
    unsigned long written;
    WriteFile(GetStdHandle((unsigned long)-11), line, (unsigned long)n, &written, 0);
    failures += !ok;
}

void __stdcall HostMain(void) {
    Print("version ", LMVX_VERSION_MAJOR * 10000 + LMVX_VERSION_MINOR * 100 + LMVX_VERSION_PATCH, true);
    Print("service ", CheckService(), CheckService());
    const bool started = Start();
    Print("started ", started, started && GetLVXStatus() == LVX_STATE_CONNECTED);
    SetContrast(33);
    Print("contrast ", GetContrast(), GetContrast() == 33);
    HANDLE module = LoadLibraryW(L"LMVX.dll");
    LvxFn_GetBrightness getBrightness = (LvxFn_GetBrightness)GetProcAddress(module, "GetBrightness");
    const uint32_t brightness = getBrightness ? getBrightness() : 0;
    Print("brightness ", brightness, getBrightness && brightness == GetBrightness());
    wchar_t text[16] = {0};
    const int length = LoadStringW(module, LVX_STR_MODE_MOVIE, text, 16);
    Print("string ", (uint32_t)length, length == 5 && text[0] == L'M' && text[4] == L'e');
    Stop(true);
    Print("stopped ", (uint32_t)GetLVXStatus(), GetLVXStatus() == LVX_STATE_STOPPED);
    ExitProcess(failures == 0 ? 0 : 1);
}

/* Planted beside the test program under Crypt32.dll's name: records in the
 * process's environment that it was loaded. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    (void)module;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"LMVX_PLANTED_CRYPT32", L"loaded");
    return TRUE;
}

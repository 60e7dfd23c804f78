// The Windows headers as the backend uses them, and the conversions between
// the seam's types and Win32's. Private to src/os/win32/.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

namespace os::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows strings are UTF-16");

inline const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
inline wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

inline HWND ToWindow(uint64_t handle) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)); }
inline uint64_t FromWindow(HWND window) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(window)); }

// A Windows error code met on the way is read and not used: no failure
// reaches the host as an error code.
inline void DropLastError() { static_cast<void>(GetLastError()); }

}  // namespace os::win32

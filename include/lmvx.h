/*
 * lmvx.h: the host's view of the LMVX display-control library.
 *
 * Every call is a synchronous request to the background display service over
 * the pipe of the caller's session; no call throws or reports an error code.
 * Functions marked "gated" do nothing and return their failure value unless
 * GetLVXStatus() would report LVX_STATE_CONNECTED. All functions may be
 * called from any thread.
 *
 * Strings are UTF-16: wchar_t on Windows, char16_t elsewhere.
 */
#ifndef LMVX_H
#define LMVX_H

#include <stdbool.h>
#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t LvxChar;
#elif defined(__cplusplus)
typedef char16_t LvxChar;
#else
#include <uchar.h>
typedef char16_t LvxChar;
#endif

#if defined(_WIN32)
#if defined(LMVX_BUILDING_LIBRARY)
#define LMVX_API
#else
#define LMVX_API __declspec(dllimport)
#endif
#elif defined(LMVX_BUILDING_LIBRARY)
#define LMVX_API __attribute__((visibility("default")))
#else
#define LMVX_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Values of GetLVXStatus(). */
enum {
    LVX_STATE_DISCONNECTED = 0, /* a session is starting or has lost the service */
    LVX_STATE_CONNECTED = 1,    /* gated functions work */
    LVX_STATE_STOPPED = 2,      /* at load and after Stop() */
    LVX_STATE_START_FAILED = 3  /* the last Start() found no companion application */
};

/* ---- Session -------------------------------------------------------- */

/* The connection state (LVX_STATE_*), refreshed from the service first
 * unless stopped. Not gated. */
LMVX_API int32_t GetLVXStatus(void);

/* True when the service reports itself ready. Not gated: works before
 * Start() and after Stop(). False when no service answers. */
LMVX_API bool CheckService(void);

/* ---- Events and polling ---------------------------------------------- */

/* ---- Picture controls ------------------------------------------------ */

/* ---- Display modes --------------------------------------------------- */

/* ---- Platform -------------------------------------------------------- */

/* ---- Automatic colour ------------------------------------------------ */

/* ---- Desktop partition ----------------------------------------------- */

/* ---- Schedule and power savings -------------------------------------- */

/* ---- HDR status and features ----------------------------------------- */

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The caller-visible layouts are fixed; these checks keep them so. */
#ifdef __cplusplus
static_assert(sizeof(LvxChar) == 2, "LvxChar is one UTF-16 code unit");
#else
_Static_assert(sizeof(LvxChar) == 2, "LvxChar is one UTF-16 code unit");
#endif

#endif /* LMVX_H */

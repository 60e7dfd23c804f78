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
#include <stddef.h>
#include <stdint.h>

/* This release of the library (the archive, the packages, lmvxctl
 * --version). The DLL's version block numbers the product's file version
 * instead, 5.3.65.0, which is not this. */
#define LMVX_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define LMVX_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define LMVX_VERSION_PATCH @PROJECT_VERSION_PATCH@

#if defined(_WIN32)
typedef wchar_t LvxChar; /* from <stddef.h>: no C library headers needed */
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

/* Starts a session: makes sure the companion application runs (launching
 * it, and waiting about six seconds for it, when it does not), waits until
 * the service answers connected, registers for its notifications and sets
 * the polling intervals. True when the session runs; false when a Stop()
 * called after this call began has returned. Not gated. */
LMVX_API bool Start(void);

/* Ends the session; with notifyService the service is told first. Does not
 * wait for the notification thread, which delivers no event after this
 * returns but one under way. A second Stop() does nothing. In a forked
 * child (POSIX) there is no session: its Stop() leaves the parent's alone.
 *
 * An exchange with the service has no time limit of the library's own once
 * the service has accepted it: a service that accepts a request and never
 * answers holds the calling thread, Stop(true) included.
 * A session does not survive a restart of the service: the state goes to
 * LVX_STATE_DISCONNECTED and back, and the host calls Stop() and Start() to
 * register again. */
LMVX_API void Stop(bool notifyService);

/* ---- Events and polling ---------------------------------------------- */

/* Event types delivered to the handler. The handler gets the type only and
 * reads the new value with the matching getter. */
typedef int32_t LvxDataType;
enum {
    LVX_EVENT_BRIGHTNESS = 0x10,
    LVX_EVENT_CONTRAST = 0x12,
    LVX_EVENT_WHITE_POINT = 0x14,
    LVX_EVENT_RED_GAIN = 0x16,
    LVX_EVENT_GREEN_GAIN = 0x18,
    LVX_EVENT_BLUE_GAIN = 0x1A,
    LVX_EVENT_INPUT_SOURCE = 0x60,
    LVX_EVENT_DISPLAY_MODE = 0xDC,
    LVX_EVENT_SERVICE_100 = 0x100,
    LVX_EVENT_SERVICE_101 = 0x101,
    LVX_EVENT_SERVICE_STATUS_CHANGED = 0x102, /* the state has been refreshed: see GetLVXStatus() */
    LVX_EVENT_SERVICE_103 = 0x103,
    LVX_EVENT_SERVICE_104 = 0x104,
    LVX_EVENT_SERVICE_105 = 0x105, /* off until EnableEvent(LVX_EVENT_SERVICE_105) */
    LVX_EVENT_ALL = 0xFFFF         /* argument of EnableEvent/DisableEvent only */
};

/* Called on the library's notification thread, one event at a time, in order.
 * It may call any function of the library, SetEventHandler included; it
 * should return quickly: later events and Stop() wait behind it. */
typedef void (*LvxEventHandler)(LvxDataType type);

/* Sets the one handler (NULL: no delivery). Never blocks: a call of the old
 * handler that has begun on the notification thread may still be running
 * when this returns, so free what the old handler uses only after Stop()
 * and the end of that call. Each event goes to the old or the new handler,
 * never to neither. Not gated. */
LMVX_API void SetEventHandler(LvxEventHandler handler);

/* Switch delivery of one type (or LVX_EVENT_ALL) on or off. Any call lifts a
 * mute set by DisableEvent(LVX_EVENT_ALL). Not gated. */
LMVX_API void EnableEvent(LvxDataType type);
LMVX_API void DisableEvent(LvxDataType type);

/* How often the service polls category 1 to 5 (ms; DisablePolling: off).
 * Other categories send nothing. Not gated. */
LMVX_API void EnablePolling(int32_t category, uint32_t intervalMs);
LMVX_API void DisablePolling(int32_t category);

/* Asks the service to refresh one data type (at most 255). Gated. */
LMVX_API void UpdateData(int32_t type);


/* ---- Picture controls ------------------------------------------------ */

/* MCCS values, passed through unchanged: luminance (VCP 0x10, read only),
 * contrast (0x12), colour preset / white point (0x14), red, green and blue
 * video gain (0x16, 0x18, 0x1A), input source (0x60). Gated: getters return
 * 0xFFFFFFFF when not connected and 0 when the request fails; setters do
 * nothing when not connected and never report the outcome. */
LMVX_API uint32_t GetBrightness(void);
LMVX_API uint32_t GetContrast(void);
LMVX_API void SetContrast(uint32_t value);
LMVX_API uint32_t GetWhitePoint(void);
LMVX_API void SetWhitePoint(uint32_t value);
LMVX_API uint32_t GetRedGain(void);
LMVX_API void SetRedGain(uint32_t value);
LMVX_API uint32_t GetGreenGain(void);
LMVX_API void SetGreenGain(uint32_t value);
LMVX_API uint32_t GetBlueGain(void);
LMVX_API void SetBlueGain(uint32_t value);
LMVX_API uint32_t GetInputSource(void);
LMVX_API void SetInputSource(uint32_t value);

/* The values the monitor accepts for the white point (0x14) or the input
 * source (0x60), in the monitor's order. Writes at most `capacity` elements
 * into `buffer`, and only when the monitor marks the control supported.
 * Returns the number of values the monitor listed (at most 26), which may
 * exceed what was written; 0 when not connected or `buffer` is null.
 * Gated. */
LMVX_API uint64_t GetSupportedWhitePoints(uint32_t* buffer, uint64_t capacity);
LMVX_API uint64_t GetSupportedInputSources(uint32_t* buffer, uint64_t capacity);

/* ---- Display modes --------------------------------------------------- */

/* Display modes are the library's own identifiers, translated to and from
 * the monitor's VCP 0xDC values. Gated. */

/* Writes the identifiers of the supported display modes (at most `capacity`,
 * modes without an identifier left out) and returns how many it wrote; 0 when
 * not connected, when `buffer` is null or when the monitor lists none. */
LMVX_API uint64_t GetSupportedDisplayModes(int32_t* buffer, uint64_t capacity);
LMVX_API void SetDisplayMode(int32_t displayMode);
/* The current display mode; -1 when not connected. */
LMVX_API int32_t GetCurrentDisplayMode(void);

/* ---- Platform -------------------------------------------------------- */

/* Whether this machine is one the product supports, decided locally from
 * the display adapters, the BIOS feature string and a test marker folder.
 * Not gated: works in every state and never talks to the service. */
LMVX_API bool IsPlatformSupported(void);
/* Asks the monitor to restore its factory defaults where this machine allows
 * it. Gated; the outcome is not reported. */
LMVX_API void FactoryReset(void);

/* ---- Automatic colour ------------------------------------------------ */

/* Names travel in fixed slots of LVX_NAME_UNITS code units: at most 99
 * characters and a terminating zero. An application path has
 * LVX_APP_PATH_UNITS units (at most 299 characters). */
#define LVX_NAME_UNITS 100
#define LVX_APP_PATH_UNITS 300
#define LVX_AUTO_COLOR_MAX_APPS 30
#define LVX_AUTO_COLOR_MAX_MODES 20

/* Filled by GetAutoColorTable(): entry i pairs appNames[i] with
 * modeNames[i]. 12004 bytes. */
typedef struct AutoColorTable {
    uint32_t count; /* valid entries, 0 to 30 */
    LvxChar appNames[LVX_AUTO_COLOR_MAX_APPS][LVX_NAME_UNITS];
    LvxChar modeNames[LVX_AUTO_COLOR_MAX_APPS][LVX_NAME_UNITS];
} AutoColorTable;

/* Filled by getSupportedAutoColorMode(). 4004 bytes. */
typedef struct AutoColorModeList {
    uint32_t count; /* valid names, 0 to 20 */
    LvxChar modeNames[LVX_AUTO_COLOR_MAX_MODES][LVX_NAME_UNITS];
} AutoColorModeList;

/* The service switches the colour mode by application. All gated. The
 * application name is the key of the table. Names of 100 or more
 * characters, paths of 300 or more, and null strings are refused: nothing
 * is sent. Setters never report the outcome. */
LMVX_API void EnableAutoColor(bool enable);
/* False when not connected or when the request fails. */
LMVX_API bool IsAutoColorEnabled(void);
LMVX_API void AddAutoColorApp(const LvxChar* appName, const LvxChar* appPath);
LMVX_API void DeleteAutoColorApp(const LvxChar* appName);
LMVX_API void SetAutoColorAppMode(const LvxChar* appName, const LvxChar* modeName);
/* Writes the count and the first `count` entries (each name up to and
 * including its zero; the rest of the buffer is left as it was) and returns
 * the count. 0 with the buffer untouched when not connected or `table` is
 * null; 0 with count 0 written when the request fails. */
LMVX_API uint32_t GetAutoColorTable(AutoColorTable* table);
/* The colour-mode names the service offers (the first 20), written as
 * GetAutoColorTable() writes its entries. */
LMVX_API void getSupportedAutoColorMode(AutoColorModeList* list);


/* ---- Desktop partition ----------------------------------------------- */

#define LVX_DP_MAX_SCREENS 8

/* Filled by GetDPSupportedScreens(). 1604 bytes. */
typedef struct DPScreenList {
    uint32_t count; /* valid names, 0 to 8 */
    LvxChar screenNames[LVX_DP_MAX_SCREENS][LVX_NAME_UNITS];
} DPScreenList;

/* Screen layouts, kept by the service per screen. All gated; screen numbers
 * and partition values are the service's and pass through unchanged. */
LMVX_API void EnableDesktopPartition(bool enable);
/* False when not connected or when the request fails. */
LMVX_API bool IsDesktopPartitionEnabled(void);
/* Writes the count and the first `count` names (as GetAutoColorTable())
 * and returns the count; 0 with the buffer untouched when not connected or
 * `list` is null; 0 with count 0 written when the request fails. */
LMVX_API uint32_t GetDPSupportedScreens(DPScreenList* list);
LMVX_API void SetDesktopPartition(uint32_t screen, uint32_t partition);
/* 0xFFFFFFFF when not connected or when the request fails. */
LMVX_API uint32_t GetDesktopPartition(uint32_t screen);
/* Asks the service to open the layout customizer. */
LMVX_API void LuanchDesktopPartitionCustomizer(void);


/* ---- Schedule and power savings -------------------------------------- */

/* A display-mode schedule (four time fields, passed through unchanged, and
 * a display mode) and power savings. All gated. */
LMVX_API void EnableSchedule(bool enable);
/* False when not connected or when the request fails. */
LMVX_API bool GetSchedule(void);
LMVX_API void SetScheduleTime(uint32_t time1, uint32_t time2, uint32_t time3, uint32_t time4);
/* True when the four values were stored. Stores nothing and returns false
 * when not connected, when a pointer is null or when the request fails. */
LMVX_API bool GetScheduleTime(uint32_t* time1, uint32_t* time2, uint32_t* time3, uint32_t* time4);
/* The schedule's display mode, as a display-mode identifier (see
 * SetDisplayMode()); an unknown identifier is sent as 0xFFFFFFFF. */
LMVX_API void SetShedulerMode(int32_t displayMode);
/* -1 when not connected or when the request fails. */
LMVX_API int32_t GetShedulerMode(void);
LMVX_API void SetPowerSavings(bool on);
/* False when not connected or when the request fails. */
LMVX_API bool GetPowerSavings(void);


/* ---- HDR status and features ----------------------------------------- */

/* True only when the display is in HDR operation; false when not connected
 * or when the request fails. Gated. */
LMVX_API bool GetHDRStatus(void);
/* The service's feature word, unchanged; 0 when no service answers. Not
 * gated: works before Start() and after Stop(). */
LMVX_API uint32_t GetFeatures(void);

/* ---- String table ---------------------------------------------------- */

/* Identifiers of the US English strings the DLL carries for the host's user
 * interface: LoadStringW(module of LMVX.dll, LVX_STR_..., ...). Other
 * identifiers have no text. */
enum {
    /* tray menu and screen-layout commands */
    LVX_STR_NONE = 101,
    LVX_STR_EXIT = 103,
    LVX_STR_DISABLE_SCREEN_LAYOUTS = 126,
    LVX_STR_ENABLE_SCREEN_LAYOUTS = 127,
    LVX_STR_IDENTIFY_LAYOUT = 128,
    LVX_STR_FIND_WINDOWS = 129,
    LVX_STR_SCREEN_LAYOUTS = 134,
    /* display-mode names */
    LVX_STR_MODE_DEFAULT = 140,
    LVX_STR_MODE_TEXT = 141,
    LVX_STR_MODE_MOVIE = 142,
    LVX_STR_MODE_GAMING = 143,
    LVX_STR_MODE_NIGHT = 144,
    LVX_STR_MODE_CUSTOM = 145,
    LVX_STR_MODE_ENHANCED = 146,
    LVX_STR_MODE_PHOTO = 147,
    LVX_STR_MODE_LOW_BLUE_LIGHT = 148,
    LVX_STR_MODE_ENHANCED_LOW = 149,
    LVX_STR_MODE_ENHANCED_MEDIUM = 150,
    LVX_STR_MODE_ENHANCED_HIGH = 151,
    /* colour-space and picture-mode names, brightness-lock messages */
    LVX_STR_SPACE_WEB = 160,
    LVX_STR_SPACE_WEB_SRGB = 161,
    LVX_STR_SPACE_PRINTING_ADOBE_RGB = 162,
    LVX_STR_SPACE_PHOTOS_VIDEOS_DCI_P3 = 163,
    LVX_STR_SPACE_NATIVE = 165,
    LVX_STR_SPACE_VIVID = 166,
    LVX_STR_SPACE_ENHANCE_PLUS = 167,
    LVX_STR_BRIGHTNESS_LOCKED_HDR = 168,
    LVX_STR_BRIGHTNESS_LOCKED_MODE = 169,
    LVX_STR_SPACE_PHOTOS_VIDEOS = 170,
    /* names of the applications offered for automatic colour */
    LVX_STR_APP_DESKTOP_SETTING = 171,
    LVX_STR_APP_EDGE = 172,
    LVX_STR_APP_CHROME = 173,
    LVX_STR_APP_WORD = 174,
    LVX_STR_APP_EXCEL = 175,
    LVX_STR_APP_NETFLIX = 176,
    LVX_STR_APP_MOVIES_TV = 177,
    LVX_STR_APP_IQIYI = 178,
    LVX_STR_APP_DVD = 179,
    /* hints of the screen-layout editor */
    LVX_STR_HINT_UNDO = 180,
    LVX_STR_HINT_SAVE = 181,
    LVX_STR_HINT_EXIT_EDIT = 182,
    LVX_STR_HINT_SELECT_LINE = 183,
    LVX_STR_HINT_ERASE_ALL = 184,
    LVX_STR_HINT_TOO_SMALL = 185,
    LVX_STR_HINT_BOUNDARY_CLICKS = 186
};

/* ---- Function types ------------------------------------------------- */

/* One pointer type per export, for hosts that load the DLL on demand:
 *     LvxFn_Start start = (LvxFn_Start)(void (*)(void))GetProcAddress(module, "Start"); */
typedef int32_t (*LvxFn_GetLVXStatus)(void);
typedef bool (*LvxFn_CheckService)(void);
typedef bool (*LvxFn_Start)(void);
typedef void (*LvxFn_Stop)(bool);
typedef void (*LvxFn_SetEventHandler)(LvxEventHandler);
typedef void (*LvxFn_EnableEvent)(LvxDataType);
typedef void (*LvxFn_DisableEvent)(LvxDataType);
typedef void (*LvxFn_EnablePolling)(int32_t, uint32_t);
typedef void (*LvxFn_DisablePolling)(int32_t);
typedef void (*LvxFn_UpdateData)(int32_t);
typedef uint32_t (*LvxFn_GetBrightness)(void);
typedef uint32_t (*LvxFn_GetContrast)(void);
typedef void (*LvxFn_SetContrast)(uint32_t);
typedef uint32_t (*LvxFn_GetWhitePoint)(void);
typedef void (*LvxFn_SetWhitePoint)(uint32_t);
typedef uint32_t (*LvxFn_GetRedGain)(void);
typedef void (*LvxFn_SetRedGain)(uint32_t);
typedef uint32_t (*LvxFn_GetGreenGain)(void);
typedef void (*LvxFn_SetGreenGain)(uint32_t);
typedef uint32_t (*LvxFn_GetBlueGain)(void);
typedef void (*LvxFn_SetBlueGain)(uint32_t);
typedef uint32_t (*LvxFn_GetInputSource)(void);
typedef void (*LvxFn_SetInputSource)(uint32_t);
typedef uint64_t (*LvxFn_GetSupportedWhitePoints)(uint32_t*, uint64_t);
typedef uint64_t (*LvxFn_GetSupportedInputSources)(uint32_t*, uint64_t);
typedef uint64_t (*LvxFn_GetSupportedDisplayModes)(int32_t*, uint64_t);
typedef void (*LvxFn_SetDisplayMode)(int32_t);
typedef int32_t (*LvxFn_GetCurrentDisplayMode)(void);
typedef bool (*LvxFn_IsPlatformSupported)(void);
typedef void (*LvxFn_FactoryReset)(void);
typedef void (*LvxFn_EnableAutoColor)(bool);
typedef bool (*LvxFn_IsAutoColorEnabled)(void);
typedef void (*LvxFn_AddAutoColorApp)(const LvxChar*, const LvxChar*);
typedef void (*LvxFn_DeleteAutoColorApp)(const LvxChar*);
typedef void (*LvxFn_SetAutoColorAppMode)(const LvxChar*, const LvxChar*);
typedef uint32_t (*LvxFn_GetAutoColorTable)(AutoColorTable*);
typedef void (*LvxFn_getSupportedAutoColorMode)(AutoColorModeList*);
typedef void (*LvxFn_EnableDesktopPartition)(bool);
typedef bool (*LvxFn_IsDesktopPartitionEnabled)(void);
typedef uint32_t (*LvxFn_GetDPSupportedScreens)(DPScreenList*);
typedef void (*LvxFn_SetDesktopPartition)(uint32_t, uint32_t);
typedef uint32_t (*LvxFn_GetDesktopPartition)(uint32_t);
typedef void (*LvxFn_LuanchDesktopPartitionCustomizer)(void);
typedef void (*LvxFn_EnableSchedule)(bool);
typedef bool (*LvxFn_GetSchedule)(void);
typedef void (*LvxFn_SetScheduleTime)(uint32_t, uint32_t, uint32_t, uint32_t);
typedef bool (*LvxFn_GetScheduleTime)(uint32_t*, uint32_t*, uint32_t*, uint32_t*);
typedef void (*LvxFn_SetShedulerMode)(int32_t);
typedef int32_t (*LvxFn_GetShedulerMode)(void);
typedef void (*LvxFn_SetPowerSavings)(bool);
typedef bool (*LvxFn_GetPowerSavings)(void);
typedef bool (*LvxFn_GetHDRStatus)(void);
typedef uint32_t (*LvxFn_GetFeatures)(void);

/* The caller buffers' layouts are fixed. */
#ifdef __cplusplus
#define LVX_LAYOUT_CHECK(condition, text) static_assert(condition, text)
#else
#define LVX_LAYOUT_CHECK(condition, text) _Static_assert(condition, text)
#endif
LVX_LAYOUT_CHECK(sizeof(AutoColorTable) == 12004, "AutoColorTable is 12004 bytes");
LVX_LAYOUT_CHECK(offsetof(AutoColorTable, appNames) == 4, "application names at 4");
LVX_LAYOUT_CHECK(offsetof(AutoColorTable, modeNames) == 6004, "mode names at 6004");
LVX_LAYOUT_CHECK(sizeof(AutoColorModeList) == 4004, "AutoColorModeList is 4004 bytes");
LVX_LAYOUT_CHECK(offsetof(AutoColorModeList, modeNames) == 4, "mode names at 4");
LVX_LAYOUT_CHECK(sizeof(DPScreenList) == 1604, "DPScreenList is 1604 bytes");
LVX_LAYOUT_CHECK(offsetof(DPScreenList, screenNames) == 4, "screen names at 4");
#undef LVX_LAYOUT_CHECK

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

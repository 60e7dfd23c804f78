/*
 * lmvx-host: a minimal host of the lmvx library.
 *
 * Checks the display service, starts a session, prints the connection state,
 * brightness and contrast, prints every change event that arrives within
 * SECONDS (default 2), and stops the session.
 *
 *   lmvx-host [SECONDS]
 *
 * Exit status: 0 after a session ran, 1 when no service answers or the
 * session cannot start, 2 on a bad argument.
 */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L /* nanosleep under strict C11 */
#endif

#include <stdio.h>
#include <stdlib.h>

#include "lmvx.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
static void sleep_ms(unsigned ms) { Sleep(ms); }
#else
#include <time.h>
static void sleep_ms(unsigned ms) {
    struct timespec left = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0) {
    }
}
#endif

static const char* state_name(int32_t state) {
    switch (state) {
        case LVX_STATE_DISCONNECTED: return "disconnected";
        case LVX_STATE_CONNECTED: return "connected";
        case LVX_STATE_STOPPED: return "stopped";
        case LVX_STATE_START_FAILED: return "start failed";
        default: return "unknown";
    }
}

/* Runs on the library's notification thread: the event names the value that
 * changed, the getter reads it. */
static void on_event(LvxDataType type) {
    switch (type) {
        case LVX_EVENT_BRIGHTNESS: printf("event: brightness %u\n", (unsigned)GetBrightness()); break;
        case LVX_EVENT_CONTRAST: printf("event: contrast %u\n", (unsigned)GetContrast()); break;
        case LVX_EVENT_SERVICE_STATUS_CHANGED: printf("event: status %s\n", state_name(GetLVXStatus())); break;
        default: printf("event: 0x%x\n", (unsigned)type); break;
    }
    fflush(stdout);
}

int main(int argc, char** argv) {
    long seconds = 2;
    if (argc > 2) {
        fprintf(stderr, "usage: lmvx-host [SECONDS]\n");
        return 2;
    }
    if (argc == 2) {
        char* end = NULL;
        seconds = strtol(argv[1], &end, 10);
        if (end == argv[1] || *end != '\0' || seconds < 0 || seconds > 3600) {
            fprintf(stderr, "lmvx-host: SECONDS must be 0 to 3600\n");
            return 2;
        }
    }

    if (!CheckService()) {
        printf("service: not ready\n");
        return 1;
    }
    printf("service: ready\n");
    printf("status: %s\n", state_name(GetLVXStatus()));

    if (!Start()) {
        printf("session: not started (status: %s)\n", state_name(GetLVXStatus()));
        return 1;
    }
    SetEventHandler(on_event);
    printf("session: started\n");
    printf("status: %s\n", state_name(GetLVXStatus()));
    printf("brightness: %u\n", (unsigned)GetBrightness());
    printf("contrast: %u\n", (unsigned)GetContrast());
    printf("waiting %ld s for events\n", seconds);
    fflush(stdout);

    sleep_ms((unsigned)seconds * 1000u);

    /* No event may arrive once the session is over. */
    SetEventHandler(NULL);
    Stop(true);
    printf("session: stopped\n");
    printf("status: %s\n", state_name(GetLVXStatus()));
    return 0;
}

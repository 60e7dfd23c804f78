// lmvxctl: a host tool over the public interface of the library.
#include <cstdio>
#include <cstring>

#include "lmvx.h"

namespace {

const char* StateName(int32_t state) {
    switch (state) {
        case LVX_STATE_DISCONNECTED: return "disconnected";
        case LVX_STATE_CONNECTED: return "connected";
        case LVX_STATE_STOPPED: return "stopped";
        case LVX_STATE_START_FAILED: return "start failed";
        default: return "unknown";
    }
}

int Usage(FILE* out) {
    std::fprintf(out,
                 "usage: lmvxctl <command>\n"
                 "  status   the library's connection state\n"
                 "  check    whether the display service reports itself ready\n");
    return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return Usage(stderr);
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) return Usage(stdout);
    if (std::strcmp(argv[1], "status") == 0) {
        const int32_t state = GetLVXStatus();
        std::printf("status: %d (%s)\n", state, StateName(state));
        return 0;
    }
    if (std::strcmp(argv[1], "check") == 0) {
        const bool ready = CheckService();
        std::printf("service: %s\n", ready ? "ready" : "not ready");
        return ready ? 0 : 1;
    }
    return Usage(stderr);
}

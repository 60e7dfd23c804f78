// The simulator in unit tests: its service pipe is the fake seam's (one pipe
// at a time, so the control pipe stays unserved); its companion window is
// the fake seam's switch.
#include "companion.h"
#include "fakes/fake_os.h"
#include "pipe_server.h"

namespace sim {
namespace {

const PipeServer* serving = nullptr;

struct FakePipeServer final : PipeServer {
    ~FakePipeServer() override { Stop(); }
    bool Start(const std::u16string& name, RequestHandler handler, int) override {
        if (serving != nullptr) return false;
        serving = this;
        fake::Os().SetPipe([=](std::u16string_view pipe, std::vector<uint8_t> request) {
            const Response response = pipe == name ? handler(request.data(), request.size()) : Response{false};
            return response.answer ? std::optional(response.bytes) : std::nullopt;
        });
        return true;
    }
    void Stop() override {
        if (serving == this) fake::Os().SetPipe(nullptr), serving = nullptr;
    }
};

struct FakeCompanionWindow final : CompanionWindow {
    bool Show(const std::u16string&) override { return true; }
    void Hide() override {}
};

}  // namespace

std::unique_ptr<PipeServer> CreatePipeServer() { return std::make_unique<FakePipeServer>(); }
std::unique_ptr<CompanionWindow> CreateCompanionWindow() { return std::make_unique<FakeCompanionWindow>(); }

}  // namespace sim

// The simulator's pipe in unit tests: a server that answers the fake pipe of
// the OS seam, for the pipe name it was started with only.
#include <cstring>
#include <memory>

#include "fakes/fake_os.h"
#include "companion.h"
#include "pipe_server.h"

namespace sim {
namespace {

class FakePipeServer final : public PipeServer {
public:
    bool Start(const std::u16string& name, RequestHandler handler, int) override {
        fake::Os().SetPipe([name, handler](const char16_t* pipe, const uint8_t* request, uint32_t size,
                                           uint8_t* reply, uint32_t capacity, uint32_t* received) {
            if (name != pipe) return false;  // no such pipe
            // The request and reply buffers may be one: copy the request first.
            const std::vector<uint8_t> copy(request, request + size);
            const Response response = handler(copy.data(), copy.size());
            if (!response.answer || response.bytes.size() > capacity) return false;
            if (!response.bytes.empty()) std::memcpy(reply, response.bytes.data(), response.bytes.size());
            *received = static_cast<uint32_t>(response.bytes.size());
            return true;
        });
        return true;
    }
    void Stop() override { fake::Os().SetPipe(nullptr); }
};

}  // namespace

std::unique_ptr<PipeServer> CreatePipeServer() { return std::make_unique<FakePipeServer>(); }

}  // namespace sim

namespace sim {
namespace {

// In unit tests the companion's presence is the fake seam's switch.
class FakeCompanionWindow final : public CompanionWindow {
public:
    bool Show(const std::u16string&) override { return true; }
    void Hide() override {}
};

}  // namespace

std::unique_ptr<CompanionWindow> CreateCompanionWindow() { return std::make_unique<FakeCompanionWindow>(); }

}  // namespace sim

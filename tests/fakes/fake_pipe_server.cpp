// The simulator in unit tests: its servers answer the fake pipe of the OS
// seam, each for the pipe name it was started with; its companion window is
// the fake seam's switch.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "companion.h"
#include "fakes/fake_os.h"
#include "pipe_server.h"

namespace sim {
namespace {

std::mutex serversMutex;
std::map<std::u16string, RequestHandler> servers;

bool Dispatch(const char16_t* pipe, const uint8_t* request, uint32_t size, uint8_t* reply, uint32_t capacity,
              uint32_t* received) {
    RequestHandler handler;
    {
        std::lock_guard<std::mutex> lock(serversMutex);
        auto it = servers.find(pipe);
        if (it == servers.end()) return false;  // no such pipe
        handler = it->second;
    }
    // The request and reply buffers may be one: copy the request first.
    const std::vector<uint8_t> copy(request, request + size);
    const Response response = handler(copy.data(), copy.size());
    if (!response.answer || response.bytes.size() > capacity) return false;
    if (!response.bytes.empty()) std::memcpy(reply, response.bytes.data(), response.bytes.size());
    *received = static_cast<uint32_t>(response.bytes.size());
    return true;
}

class FakePipeServer final : public PipeServer {
public:
    ~FakePipeServer() override { Stop(); }
    bool Start(const std::u16string& name, RequestHandler handler, int) override {
        std::lock_guard<std::mutex> lock(serversMutex);
        if (!servers.emplace(name, std::move(handler)).second) return false;
        name_ = name;
        fake::Os().SetPipe(Dispatch);
        return true;
    }
    void Stop() override {
        std::lock_guard<std::mutex> lock(serversMutex);
        servers.erase(name_);
        name_.clear();
    }

private:
    std::u16string name_;
};

class FakeCompanionWindow final : public CompanionWindow {
public:
    bool Show(const std::u16string&) override { return true; }
    void Hide() override {}
};

}  // namespace

std::unique_ptr<PipeServer> CreatePipeServer() { return std::make_unique<FakePipeServer>(); }
std::unique_ptr<CompanionWindow> CreateCompanionWindow() { return std::make_unique<FakeCompanionWindow>(); }

}  // namespace sim

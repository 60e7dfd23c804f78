#include "simulator.h"

#include <cstring>
#include <random>
#include <thread>

#include "link/exchange.h"
#include "link/protection.h"
#include "link/service.h"
#include "os/os.h"

namespace sim {

std::u16string SessionPipeName() {
    uint32_t sessionId = 0;
    if (!os::QuerySessionId(&sessionId)) sessionId = 0;
    char16_t name[lmvx::kPipeNameUnits];
    lmvx::FormatServicePipeName(sessionId, name);
    return name;
}

Simulator::Simulator(Options options)
    : options_(std::move(options)), status_(options_.status), readiness_(options_.readiness) {
    if (options_.pipeName.empty()) options_.pipeName = SessionPipeName();
}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start() {
    if (server_) return true;
    server_ = CreatePipeServer();
    if (!server_->Start(
            options_.pipeName, [this](const uint8_t* data, size_t size) { return Serve(data, size); },
            options_.workers)) {
        server_.reset();
        return false;
    }
    return true;
}

void Simulator::Stop() {
    if (!server_) return;
    server_->Stop();
    server_.reset();
}

void Simulator::Once(uint32_t command, Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    once_[command].push_back(std::move(script));
}

void Simulator::Always(uint32_t command, Script script) {
    std::lock_guard<std::mutex> lock(mutex_);
    always_[command] = std::move(script);
}

void Simulator::ClearScripts() {
    std::lock_guard<std::mutex> lock(mutex_);
    once_.clear();
    always_.clear();
}

std::vector<ServiceRecord> Simulator::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::vector<uint32_t> Simulator::Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<uint32_t> commands;
    for (const auto& record : log_) commands.push_back(record.command);
    return commands;
}

size_t Simulator::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_.size();
}

void Simulator::ClearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    rejected_ = 0;
}

bool Simulator::TakeScript(uint32_t command, Script* script) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto once = once_.find(command);
    if (once != once_.end() && !once->second.empty()) {
        *script = std::move(once->second.front());
        once->second.pop_front();
        return true;
    }
    auto always = always_.find(command);
    if (always == always_.end()) return false;
    *script = always->second;
    return true;
}

void Simulator::Answer(const ServiceRecord& request, ServiceRecord* reply) {
    *reply = request;
    reply->result = 1;
    switch (request.command) {
        case ORV::kQueryStatus: reply->SetWord(12, status_); break;
        case ORV::kCheckService: reply->SetWord(12, readiness_); break;
        default:
            if (!monitor_.Answer(request, reply)) features_.Answer(request, reply);
            break;
    }
}

Response Simulator::Serve(const uint8_t* request, size_t size) {
    Response response;
    std::vector<uint8_t> block(lmvx::kBufferSize);
    if (size < lmvx::kProtectedSize || size > lmvx::kBufferSize) {
        ++rejected_;
        response.answer = false;
        return response;
    }
    std::memcpy(block.data(), request, size);
    if (!lmvx::DecryptRecord(block.data(), static_cast<uint32_t>(size))) {
        ++rejected_;
        response.answer = false;
        return response;
    }
    ServiceRecord record;
    std::memcpy(&record, block.data(), sizeof record);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        log_.push_back(record);
    }

    Script script;
    TakeScript(record.command, &script);
    if (script.delayMs != 0) std::this_thread::sleep_for(std::chrono::milliseconds(script.delayMs));

    ServiceRecord reply;
    Answer(record, &reply);
    if (script.setResult) reply.result = script.result;
    for (const auto& [offset, value] : script.words)
        if (offset + 4 <= lmvx::kRecordSize) reply.SetWord(offset, value);
    if (script.edit) script.edit(reply);

    lmvx::ProtectedBlock protectedBlock = lmvx::EncryptRecord(reply);
    uint8_t* bytes = protectedBlock.buffer.get();
    const uint32_t n = protectedBlock.size;
    switch (script.fault) {
        case Fault::kNone: response.bytes.assign(bytes, bytes + n); break;
        case Fault::kBadChecksum:
            os::UnprotectMemory(bytes, n);
            bytes[lmvx::kChecksumOffset] ^= 1;
            os::ProtectMemory(bytes, n);
            response.bytes.assign(bytes, bytes + n);
            break;
        case Fault::kShort: response.bytes.assign(bytes, bytes + std::min(script.faultLength, n)); break;
        case Fault::kEmpty: break;
        case Fault::kOversize:
            response.bytes.assign(bytes, bytes + n);
            response.bytes.resize(std::max<size_t>(script.faultLength, n), 0);
            break;
        case Fault::kGarbage: {
            std::mt19937 random(script.faultLength);
            response.bytes.resize(script.faultLength);
            for (auto& b : response.bytes) b = static_cast<uint8_t>(random());
            break;
        }
        case Fault::kSilent: response.answer = false; break;
    }
    return response;
}

}  // namespace sim

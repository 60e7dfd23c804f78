#include "simulator.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "link/exchange.h"
#include "link/protection.h"
#include "link/service.h"
#include "os/os.h"

namespace sim {

constexpr uint32_t kNotifyMessage = 0x9001;

std::u16string ControlPipeName(const std::u16string& servicePipe) { return servicePipe + u"_sim_control"; }

bool SendControl(const std::u16string& servicePipe, const std::string& command, std::string* reply) {
    const std::u16string name = ControlPipeName(servicePipe);
    std::vector<uint8_t> buffer(4096);
    uint32_t received = 0;
    if (command.size() > buffer.size()) return false;
    std::memcpy(buffer.data(), command.data(), command.size());
    if (!os::TransactPipe(name.c_str(), buffer.data(), static_cast<uint32_t>(command.size()), buffer.data(),
                          static_cast<uint32_t>(buffer.size()), &received, 2000))
        return false;
    reply->assign(buffer.begin(), buffer.begin() + received);
    return true;
}

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
    const auto notify = [this](uint32_t code, uint32_t value) { Notify(code, value); };
    monitor_.SetNotifier(notify);
    features_.SetNotifier(notify);
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
    control_ = CreatePipeServer();
    const bool controlled = control_->Start(
        ControlPipeName(options_.pipeName),
        [this](const uint8_t* data, size_t size) {
            std::vector<std::string> args;
            std::string word;
            for (size_t i = 0; i <= size; ++i) {
                if (i == size || data[i] == ' ' || data[i] == '\n') {
                    if (!word.empty()) args.push_back(word);
                    word.clear();
                } else {
                    word += static_cast<char>(data[i]);
                }
            }
            const std::string answer = Control(args);
            return Response{true, std::vector<uint8_t>(answer.begin(), answer.end())};
        },
        2);
    if (!controlled) control_.reset();
    if (options_.companion) {
        companion_ = CreateCompanionWindow();
        if (!companion_->Show(kCompanionClass)) companion_.reset();
    }
    return true;
}

void Simulator::Stop() {
    if (!server_) return;
    if (companion_) companion_->Hide();
    companion_.reset();
    if (control_) control_->Stop();
    control_.reset();
    server_->Stop();
    server_.reset();
}

bool Simulator::Notify(uint64_t code, uint64_t value) {
    const uint64_t window = window_.load();
    return window != 0 && os::PostWindowMessage(window, kNotifyMessage, code, value);
}

uint32_t Simulator::PollingInterval(int category) const {
    return category >= 1 && category <= 5 ? polling_[category].load() : 0;
}

const char* Simulator::ControlHelp() {
    static const std::string help = std::string(
        "  notify CODE VALUE...   post notification CODE with each VALUE to the host's window\n"
        "  status N               answer N to status queries (1 connected, 0 not)\n"
        "  readiness N            answer N to service checks (2 or more: ready)\n"
        "  silent on|off          stop answering (connections are closed) / answer again\n"
        "  result N               answer every command with result N (1: normal)\n"
        "  requests               the number of verified requests received so far\n"
        "monitor:\n"
        "  set VCP VALUE          the monitor changes a value (as with its own buttons)\n"
        "  get VCP                a value of the monitor\n"
        "  caps VCP V1,V2,...|none  the values a listed code accepts (at most 26)\n"
        "  support VCP 0|1        whether the capability reply marks the code supported\n"
        "  scheme N               the display-mode scheme (command 31)\n"
        "  variant N              the display-mode variant (command 35)\n"
        "  factory-reset          every code back to its factory value\n"
        "  monitor                every code and value on one line\n"
        "feature services:\n") +
        FeatureModel::ControlHelp() +
        "Numbers are decimal or 0x-hexadecimal. VCP codes: 0x10 luminance, 0x12 contrast,\n"
        "0x14 colour preset, 0x16/0x18/0x1A red/green/blue gain, 0x60 input source,\n"
        "0xDC display application, 0x04 restore factory defaults (write only).\n";
    return help.c_str();
}

std::string Simulator::Control(const std::vector<std::string>& args) {
    const auto number = [](const std::string& text, uint64_t* value) {
        if (text.empty()) return false;
        char* end = nullptr;
        errno = 0;
        const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
        if (errno != 0 || *end != 0 || text[0] == '-') return false;
        *value = parsed;
        return true;
    };
    uint64_t a = 0, b = 0;
    if (args.empty()) return "error: empty command";
    const std::string& verb = args[0];
    if (verb == "notify") {
        // Several values are posted back to back, in order: they wait in the
        // host's queue together.
        if (args.size() < 3 || !number(args[1], &a)) return "error: usage: notify CODE VALUE...";
        std::vector<uint64_t> values;
        for (size_t i = 2; i < args.size(); ++i) {
            if (!number(args[i], &b)) return "error: usage: notify CODE VALUE...";
            values.push_back(b);
        }
        for (uint64_t value : values)
            if (!Notify(a, value)) return "error: no window registered";
        return "ok";
    }
    if (verb == "status" || verb == "readiness" || verb == "result") {
        if (args.size() != 2 || !number(args[1], &a) || a > 0xFFFFFFFFull) return "error: usage: " + verb + " N";
        if (verb == "status") SetStatus(static_cast<uint32_t>(a));
        else if (verb == "readiness") SetReadiness(static_cast<uint32_t>(a));
        else {
            ClearScripts();
            if (a != 1)
                for (uint32_t command = 1; command <= 41; ++command) {
                    Script script;
                    script.setResult = true;
                    script.result = static_cast<uint32_t>(a);
                    Always(command, script);
                }
        }
        return "ok";
    }
    if (verb == "requests") {
        if (args.size() != 1) return "error: usage: requests";
        return std::to_string(RequestCount());
    }
    if (verb == "silent") {
        if (args.size() != 2 || (args[1] != "on" && args[1] != "off")) return "error: usage: silent on|off";
        ClearScripts();
        if (args[1] == "on")
            for (uint32_t command = 1; command <= 41; ++command) {
                Script script;
                script.fault = Fault::kSilent;
                Always(command, script);
            }
        return "ok";
    }
    std::string reply;
    if (monitor_.Control(args, &reply) || features_.Control(args, &reply)) return reply;
    return "error: unknown command '" + verb + "'";
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
        case ORV::kRegisterWindow: window_ = request.Word64(12); break;
        case ORV::kEndSession: ++sessionEnds_; break;
        case ORV::kPollingCategory1: polling_[1] = request.Word(12); break;
        case ORV::kPollingCategory2: polling_[2] = request.Word(12); break;
        case ORV::kPollingCategory3: polling_[3] = request.Word(12); break;
        case ORV::kPollingCategory4: polling_[4] = request.Word(12); break;
        case ORV::kPollingCategory5: polling_[5] = request.Word(12); break;
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
    if (options_.served) options_.served(record, reply, script.fault);

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

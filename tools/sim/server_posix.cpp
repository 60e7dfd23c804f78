// Serves the pipe as a SOCK_SEQPACKET socket: each worker thread blocks in
// accept() on the shared listening socket and serves one connection at a
// time. The socket is created with mode 0600 so only its owner can connect.
#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

#include "os/posix/posix_paths.h"
#include "pipe_server.h"

namespace sim {
namespace {

// Large enough to see that an oversized request is oversized.
constexpr size_t kReceiveCapacity = 65536;

class PosixPipeServer final : public PipeServer {
public:
    ~PosixPipeServer() override { Stop(); }

    bool Start(const std::u16string& name, RequestHandler handler, int workers) override {
        path_ = os::posix::PipeSocketPath(name.c_str());
        if (path_.empty()) return false;
        handler_ = std::move(handler);
        listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (listener_ < 0) return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        ::unlink(path_.c_str());
        const mode_t previous = ::umask(0177);
        const int bound = ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::umask(previous);
        if (bound != 0 || ::listen(listener_, 64) != 0) {
            ::close(listener_);
            listener_ = -1;
            return false;
        }
        stopping_ = false;
        for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
        return true;
    }

    void Stop() override {
        if (listener_ < 0) return;
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> lock(clientsMutex_);
            for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& thread : threads_) thread.join();
        threads_.clear();
        ::close(listener_);
        listener_ = -1;
        ::unlink(path_.c_str());
    }

private:
    void Work() {
        std::vector<uint8_t> buffer(kReceiveCapacity);
        while (!stopping_) {
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;  // the listener was shut down
            }
            Track(client, true);
            // A Stop that ran before this client was tracked has already set
            // the flag, so the client is never left blocking in recv.
            if (!stopping_) Serve(client, buffer);
            Track(client, false);
            ::close(client);
        }
    }

    void Serve(int client, std::vector<uint8_t>& buffer) {
        ssize_t got;
        do {
            got = ::recv(client, buffer.data(), buffer.size(), 0);
        } while (got < 0 && errno == EINTR);
        if (got < 0 || stopping_) return;
        const Response response = handler_(buffer.data(), static_cast<size_t>(got));
        if (!response.answer || stopping_) return;
        ::send(client, response.bytes.data(), response.bytes.size(), MSG_NOSIGNAL);
    }

    void Track(int fd, bool add) {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        if (add) {
            clients_.push_back(fd);
        } else {
            for (size_t i = 0; i < clients_.size(); ++i)
                if (clients_[i] == fd) {
                    clients_[i] = clients_.back();
                    clients_.pop_back();
                    break;
                }
        }
    }

    std::string path_;
    RequestHandler handler_;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
    std::mutex clientsMutex_;
    std::vector<int> clients_;
};

}  // namespace

std::unique_ptr<PipeServer> CreatePipeServer() { return std::make_unique<PosixPipeServer>(); }

}  // namespace sim

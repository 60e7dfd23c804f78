// Serves the pipe as a Windows message-mode named pipe: each worker thread
// owns one pipe instance and serves one connection on it at a time. All I/O
// is overlapped and waits on the server's stop event as well, so Stop()
// returns promptly even while workers wait for clients. The pipe keeps the
// default security of its creator; remote clients are refused.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "pipe_server.h"

namespace sim {
namespace {

// Large enough to see that an oversized request is oversized; a longer
// message is read to its end and handed on cut to this size plus one byte.
constexpr DWORD kReceiveCapacity = 65536;
constexpr DWORD kPipeBufferBytes = 65536;
// How long a served client gets to read its reply and close its end before
// the connection is dropped.
constexpr DWORD kReplyReadMs = 5000;

class Event {
public:
    Event() : handle_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Event() {
        if (handle_ != nullptr) CloseHandle(handle_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

class Win32PipeServer final : public PipeServer {
public:
    ~Win32PipeServer() override { Stop(); }

    bool Start(const std::u16string& name, RequestHandler handler, int workers) override {
        if (running_ || stop_.get() == nullptr || name.empty() || workers < 1) return false;
        name_.assign(name.begin(), name.end());
        handler_ = std::move(handler);
        ResetEvent(stop_.get());
        // A pipe served already (by another simulator) is not taken over.
        // FILE_FLAG_FIRST_PIPE_INSTANCE says so where it is honoured; the
        // look beforehand covers systems that ignore it.
        if (WaitNamedPipeW(name_.c_str(), 1) || GetLastError() == ERROR_SEM_TIMEOUT) return false;
        // Every instance exists before Start returns, so that clients that
        // come at once each find a free one instead of racing for the first
        // (a client that loses that race fails with ERROR_PIPE_BUSY). A pipe
        // that cannot be created fails Start.
        std::vector<HANDLE> instances;
        for (int i = 0; i < workers; ++i) {
            HANDLE pipe = CreateInstance(i == 0);
            if (pipe == INVALID_HANDLE_VALUE) {
                for (HANDLE created : instances) CloseHandle(created);
                return false;
            }
            instances.push_back(pipe);
        }
        running_ = true;
        threads_.reserve(instances.size());
        for (HANDLE pipe : instances) threads_.emplace_back([this, pipe] { Work(pipe); });
        return true;
    }

    void Stop() override {
        if (!running_) return;
        SetEvent(stop_.get());
        for (auto& thread : threads_) thread.join();
        threads_.clear();
        running_ = false;
    }

private:
    HANDLE CreateInstance(bool first) {
        DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
        if (first) openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
        return CreateNamedPipeW(name_.c_str(), openMode,
                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, nullptr);
    }

    // Waits for overlapped I/O on `pipe`. False when it failed or the server
    // is stopping (the I/O is then cancelled and has ended); *error holds the
    // I/O's error code.
    bool Finish(HANDLE pipe, OVERLAPPED* io, BOOL started, DWORD timeoutMs, DWORD* transferred, DWORD* error) {
        *transferred = 0;
        *error = ERROR_SUCCESS;
        if (!started) {
            *error = GetLastError();
            if (*error == ERROR_MORE_DATA) {
                // Completed at once with part of a longer message: its count.
                GetOverlappedResult(pipe, io, transferred, FALSE);
                return false;
            }
            if (*error != ERROR_IO_PENDING) return false;
            const HANDLE waits[2] = {io->hEvent, stop_.get()};
            if (WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0) {
                CancelIo(pipe);
                GetOverlappedResult(pipe, io, transferred, TRUE);
                *error = ERROR_OPERATION_ABORTED;
                return false;
            }
        }
        if (GetOverlappedResult(pipe, io, transferred, FALSE)) {
            *error = ERROR_SUCCESS;
            return true;
        }
        *error = GetLastError();
        return false;
    }

    bool Stopping() const { return WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0; }

    // Serves clients on one instance until the server stops.
    void Work(HANDLE pipe) {
        Event ioEvent;
        if (ioEvent.get() == nullptr) {
            CloseHandle(pipe);
            return;
        }
        std::vector<uint8_t> buffer(kReceiveCapacity + 1);
        while (!Stopping()) {
            if (Connect(pipe, ioEvent.get())) Serve(pipe, ioEvent.get(), buffer);
            // The instance is kept for the next client: closing it could
            // leave the pipe without any instance for a moment, and a client
            // would then find no pipe at all rather than wait for one.
            DisconnectNamedPipe(pipe);
        }
        CloseHandle(pipe);
    }

    bool Connect(HANDLE pipe, HANDLE ioEvent) {
        OVERLAPPED io{};
        io.hEvent = ioEvent;
        ResetEvent(ioEvent);
        if (ConnectNamedPipe(pipe, &io)) return true;
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED) return true;  // the client came before the call
        DWORD transferred = 0, ioError = 0;
        SetLastError(error);
        return Finish(pipe, &io, FALSE, INFINITE, &transferred, &ioError);
    }

    void Serve(HANDLE pipe, HANDLE ioEvent, std::vector<uint8_t>& buffer) {
        // One whole message: a longer one than the buffer is read to its
        // end, and its first kReceiveCapacity + 1 bytes are handed on, so
        // the handler sees that it is oversized.
        size_t size = 0;
        for (;;) {
            OVERLAPPED io{};
            io.hEvent = ioEvent;
            ResetEvent(ioEvent);
            uint8_t discard[4096];
            uint8_t* target = size < buffer.size() ? buffer.data() + size : discard;
            const DWORD room = size < buffer.size() ? static_cast<DWORD>(buffer.size() - size) : sizeof discard;
            DWORD got = 0, error = 0;
            const BOOL started = ReadFile(pipe, target, room, nullptr, &io);
            const bool done = Finish(pipe, &io, started, INFINITE, &got, &error);
            if (target != discard) size += got;
            if (done) break;
            if (error != ERROR_MORE_DATA) return;  // broken connection or stopping
        }
        if (Stopping()) return;
        const Response response = handler_(buffer.data(), size);
        if (!response.answer || Stopping()) return;

        OVERLAPPED io{};
        io.hEvent = ioEvent;
        ResetEvent(ioEvent);
        DWORD written = 0, error = 0;
        // An empty reply is a zero-length message.
        const BOOL started = WriteFile(pipe, response.bytes.data(), static_cast<DWORD>(response.bytes.size()),
                                       nullptr, &io);
        if (!Finish(pipe, &io, started, INFINITE, &written, &error)) return;
        AwaitClientClose(pipe, ioEvent);
    }

    // The reply must be read before the instance is disconnected, which
    // discards unread data. Rather than FlushFileBuffers, which Stop could
    // not interrupt, this waits for the client to close its end (a
    // transaction client closes right after reading), for a bounded time.
    void AwaitClientClose(HANDLE pipe, HANDLE ioEvent) {
        for (;;) {
            OVERLAPPED io{};
            io.hEvent = ioEvent;
            ResetEvent(ioEvent);
            uint8_t ignored[256];
            DWORD got = 0, error = 0;
            const BOOL started = ReadFile(pipe, ignored, sizeof ignored, nullptr, &io);
            if (Finish(pipe, &io, started, kReplyReadMs, &got, &error) || error == ERROR_MORE_DATA) continue;
            return;  // closed by the client (ERROR_BROKEN_PIPE), timed out or stopping
        }
    }

    std::wstring name_;
    RequestHandler handler_;
    Event stop_;
    bool running_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace

std::unique_ptr<PipeServer> CreatePipeServer() { return std::make_unique<Win32PipeServer>(); }

}  // namespace sim

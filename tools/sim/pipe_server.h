// The service side of the pipe: serves one request and one reply per
// connection, several connections at once, until stopped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct Response {
    bool answer = true;          // false: close the connection without a reply
    std::vector<uint8_t> bytes;  // the reply message, possibly empty
};

using RequestHandler = std::function<Response(const uint8_t* request, size_t size)>;

class PipeServer {
public:
    virtual ~PipeServer() = default;
    // Starts serving the pipe `name` ("\\.\pipe\NAME") with `workers`
    // connections served at once. False when the pipe cannot be created.
    virtual bool Start(const std::u16string& name, RequestHandler handler, int workers) = 0;
    // Stops accepting, ends every connection and joins the workers.
    virtual void Stop() = 0;
};

// The implementation of the platform this program is built for.
std::unique_ptr<PipeServer> CreatePipeServer();

}  // namespace sim

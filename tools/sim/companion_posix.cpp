// On POSIX a window class is present while a datagram socket is bound at
// D/LMVX_Class_<class>.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "companion.h"
#include "os/posix/posix_paths.h"

namespace sim {
namespace {

class PosixCompanionWindow final : public CompanionWindow {
public:
    ~PosixCompanionWindow() override { Hide(); }

    bool Show(const std::u16string& className) override {
        if (fd_ >= 0) return true;
        path_ = os::posix::EndpointPath("LMVX_Class_" + os::posix::ToUtf8(className.c_str()));
        sockaddr_un address{};
        if (path_.empty()) return false;
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        ::unlink(path_.c_str());
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::chmod(path_.c_str(), 0600) != 0) {
            Hide();
            return false;
        }
        return true;
    }

    void Hide() override {
        if (fd_ < 0) return;
        ::close(fd_);
        ::unlink(path_.c_str());
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace

std::unique_ptr<CompanionWindow> CreateCompanionWindow() { return std::make_unique<PosixCompanionWindow>(); }

}  // namespace sim

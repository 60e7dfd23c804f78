// POSIX stand-ins for the Windows calls of the seam: a pipe transaction is
// one SOCK_SEQPACKET connection, the session id comes from
// /proc/self/sessionid, and memory protection is AES-256-CBC keyed by the
// boot id, so that any process of the same boot can unprotect it. Every
// endpoint lives in a private per-user folder, and a pipe served by anyone
// but this user or root is not talked to.
#include <errno.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "os/os.h"
#include "os/posix/posix_paths.h"

namespace os {
namespace posix {

std::string RuntimeDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir;
    if (runtime != nullptr && runtime[0] == '/') {
        dir = runtime;
    } else {
        dir = "/tmp/lmvx-" + std::to_string(getuid());
        ::mkdir(dir.c_str(), 0700);  // an existing entry is judged below like any other
    }
    // lstat: a symbolic link is not the folder, and in /tmp another user
    // could point it elsewhere after the check.
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || (info.st_mode & 077) != 0 ||
        (info.st_uid != geteuid() && info.st_uid != 0))
        return {};
    return dir;
}

std::string EndpointPath(std::string_view leaf) {
    const std::string dir = RuntimeDir();
    if (dir.empty() || leaf.empty() || leaf.find('/') != std::string_view::npos) return {};
    std::string path = dir + "/" + std::string(leaf);
    if (path.size() >= sizeof(sockaddr_un::sun_path)) return {};
    return path;
}

std::string ToUtf8(const char16_t* text) {
    std::string out;
    if (text == nullptr) return out;
    for (size_t i = 0; text[i] != 0; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

static void AppendCodePoint(std::u16string* out, uint32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out->push_back(static_cast<char16_t>(cp));
    }
}

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD, one byte at a time.
std::u16string FromUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        uint32_t cp = 0;
        size_t extra = 0;
        if (lead < 0x80) cp = lead;
        else if ((lead & 0xE0) == 0xC0) cp = lead & 0x1F, extra = 1;
        else if ((lead & 0xF0) == 0xE0) cp = lead & 0x0F, extra = 2;
        else if ((lead & 0xF8) == 0xF0) cp = lead & 0x07, extra = 3;
        else extra = 9;  // not a lead byte
        bool valid = extra <= 3 && i + extra < bytes.size();
        for (size_t k = 1; valid && k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) valid = false;
            else cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (valid && (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) valid = false;
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        AppendCodePoint(&out, cp);
        i += extra + 1;
    }
    return out;
}

std::string PipeSocketPath(const char16_t* pipeName) {
    static constexpr char kPrefix[] = "\\\\.\\pipe\\";
    const std::string name = ToUtf8(pipeName);
    if (name.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return {};
    return EndpointPath(std::string_view(name).substr(sizeof kPrefix - 1));
}

}  // namespace posix

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Reads a whole small file; false when it cannot be read.
bool ReadSmallFile(const char* path, char* out, size_t capacity, size_t* length) {
    Fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    size_t total = 0;
    while (total < capacity) {
        const ssize_t n = ::read(fd.get(), out + total, capacity - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        total += static_cast<size_t>(n);
    }
    *length = total;
    return true;
}

// SHA-256 of the 36-character boot id.
bool BootKey(unsigned char key[32]) {
    char id[64];
    size_t length = 0;
    if (!ReadSmallFile("/proc/sys/kernel/random/boot_id", id, sizeof id, &length)) return false;
    while (length > 0 && (id[length - 1] == '\n' || id[length - 1] == '\r')) --length;
    if (length != 36) return false;
    unsigned int digestLength = 0;
    return EVP_Digest(id, length, key, &digestLength, EVP_sha256(), nullptr) == 1 && digestLength == 32;
}

bool Crypt(void* data, uint32_t size, bool encrypt) {
    if (data == nullptr || size == 0 || size % 16 != 0) return false;
    unsigned char key[32];
    if (!BootKey(key)) return false;
    static const unsigned char kZeroIv[16] = {};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx == nullptr) return false;
    auto* bytes = static_cast<unsigned char*>(data);
    int produced = 0;
    int tail = 0;
    const bool ok = EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key, kZeroIv, encrypt ? 1 : 0) == 1 &&
                    EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
                    EVP_CipherUpdate(ctx, bytes, &produced, bytes, static_cast<int>(size)) == 1 &&
                    EVP_CipherFinal_ex(ctx, bytes + produced, &tail) == 1 &&
                    static_cast<uint32_t>(produced + tail) == size;
    EVP_CIPHER_CTX_free(ctx);
    OPENSSL_cleanse(key, sizeof key);
    return ok;
}

}  // namespace

bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t waitMs) {
    const std::string path = posix::PipeSocketPath(name);
    if (path.empty()) return false;
    Fd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    // A full backlog makes connect() block; the send timeout bounds that wait.
    timeval wait{static_cast<time_t>(waitMs / 1000), static_cast<suseconds_t>((waitMs % 1000) * 1000)};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return false;
    // Only a service of this user (or root) is told anything.
    ucred peer{};
    socklen_t peerSize = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) != 0 ||
        (peer.uid != ::geteuid() && peer.uid != 0))
        return false;
    ssize_t sent;
    do {
        sent = ::send(fd.get(), request, requestSize, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(requestSize)) return false;
    iovec io{reply, replyCapacity};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    ssize_t got;
    do {
        got = ::recvmsg(fd.get(), &message, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0 || (message.msg_flags & MSG_TRUNC) != 0) return false;
    *received = static_cast<uint32_t>(got);
    return true;
}

bool QuerySessionId(uint32_t* sessionId) {
    char text[32];
    size_t length = 0;
    if (!ReadSmallFile("/proc/self/sessionid", text, sizeof text - 1, &length) || length == 0) return false;
    text[length] = 0;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || value >= 4294967295ull) return false;
    *sessionId = static_cast<uint32_t>(value);
    return true;
}

bool ProtectMemory(void* data, uint32_t size) { return Crypt(data, size, true); }
bool UnprotectMemory(void* data, uint32_t size) { return Crypt(data, size, false); }

void SleepMs(uint32_t milliseconds) {
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>((milliseconds % 1000) * 1000000L)};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace os

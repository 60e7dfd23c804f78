// Compiled with lmvx and os renamed (see CMakeLists.txt): the seam below is
// the renamed copy's only OS, and the real one elsewhere in the process is
// left alone.
#include "null_crypt.h"

#include "link/protection.h"
#include "os/os.h"

#include <utility>

namespace os {

// The platform's encryption replaced by nothing: success, bytes unchanged.
bool ProtectMemory(void*, uint32_t) { return true; }
bool UnprotectMemory(void*, uint32_t) { return true; }

}  // namespace os

namespace nullcrypt {

std::unique_ptr<uint8_t[]> EncryptRecord(const void* record, uint32_t* size) {
    lmvx::ProtectedBlock block = lmvx::EncryptRecord(*static_cast<const lmvx::ServiceRecord*>(record));
    *size = block.size;
    return std::move(block.buffer);
}

bool DecryptRecord(uint8_t* buffer, uint32_t n) { return lmvx::DecryptRecord(buffer, n); }

}  // namespace nullcrypt

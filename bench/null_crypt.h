// EncryptRecord and DecryptRecord of the library's own protection code, built
// over a seam whose memory encryption does nothing: what the checksum, mask
// and buffer handling cost on their own. The record is passed as bytes so
// that this header names no type of the renamed copy.
#pragma once

#include <cstdint>
#include <memory>

namespace nullcrypt {

// The protected block of the kRecordSize bytes at `record`, in a fresh
// buffer of kBufferSize bytes; *size receives the protected size.
std::unique_ptr<uint8_t[]> EncryptRecord(const void* record, uint32_t* size);

bool DecryptRecord(uint8_t* buffer, uint32_t n);

}  // namespace nullcrypt

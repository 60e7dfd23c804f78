// Wrapping a ServiceRecord into the protected block that crosses the pipe, and
// unwrapping a received block: an 8-bit checksum in the block's last byte, a
// position-dependent XOR mask, then the platform's cross-process memory
// encryption over the whole block.
#pragma once

#include <cstdint>
#include <memory>

#include "link/record.h"

namespace lmvx {

// The mask byte of position i: (i + 63) mod 255, so it is never 255.
constexpr uint8_t MaskByte(uint32_t i) { return static_cast<uint8_t>((i + 63) % 255); }

struct ProtectedBlock {
    std::unique_ptr<uint8_t[]> buffer;  // kBufferSize bytes; null when allocation failed
    uint32_t size = 0;                  // kProtectedSize whenever buffer is set
    bool encrypted = false;             // whether the encryption step succeeded
};

// Builds the protected block of `record` in a fresh kBufferSize buffer. Bytes
// kRecordSize..kBufferSize-1 are zero before the checksum is taken, so no
// other memory of the process reaches the pipe. When encryption is
// unavailable the block is still returned, checksummed and masked.
ProtectedBlock EncryptRecord(const ServiceRecord& record);

// Unprotects the first n bytes of `buffer` in place and verifies the checksum
// (the sum of bytes 0..n-2 against byte n-1). False without touching the
// buffer unless n is a non-zero multiple of 16 of at most kBufferSize, and
// false when decryption is unavailable or fails.
bool DecryptRecord(uint8_t* buffer, uint32_t n);

// The same protection, in place, over the `size` bytes at `block` (a non-zero
// multiple of 16 of at most kBufferSize): bytes 0..size-2 are protected and
// byte size-1 receives their checksum.
bool ProtectBlock(uint8_t* block, uint32_t size);

}  // namespace lmvx

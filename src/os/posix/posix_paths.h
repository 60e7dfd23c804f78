// Where the POSIX stand-ins live on the file system. Shared with the peers
// (the simulator) that serve these endpoints, so both sides agree.
#pragma once

#include <string>
#include <string_view>

namespace os::posix {

// $XDG_RUNTIME_DIR when it is set and absolute, else /tmp.
std::string RuntimeDir();

// UTF-8 of a UTF-16 string (unpaired surrogates become U+FFFD).
std::string ToUtf8(const char16_t* text);

// UTF-16 of UTF-8 text (malformed sequences become U+FFFD).
std::u16string FromUtf8(std::string_view bytes);

// The socket path of the pipe "\\.\pipe\NAME": RuntimeDir()/NAME. Empty when
// the name is not a pipe name or would not fit a socket address.
std::string PipeSocketPath(const char16_t* pipeName);

}  // namespace os::posix

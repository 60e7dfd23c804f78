// Where the POSIX stand-ins live on the file system. Shared with the peers
// (the simulator) that serve these endpoints, so both sides agree.
#pragma once

#include <string>
#include <string_view>

namespace os::posix {

// The folder of every endpoint: $XDG_RUNTIME_DIR when it is set and
// absolute, else /tmp/lmvx-<uid>, created 0700 when missing. Empty (every
// endpoint then missing) unless it is a directory, not a link, owned by this
// user or root, with no access for group or others.
std::string RuntimeDir();

// RuntimeDir()/leaf; empty when the folder is refused, the leaf is empty or
// holds a '/', or the path would not fit a socket address.
std::string EndpointPath(std::string_view leaf);

// UTF-8 of a UTF-16 string (unpaired surrogates become U+FFFD).
std::string ToUtf8(const char16_t* text);

// UTF-16 of UTF-8 text (malformed sequences become U+FFFD).
std::u16string FromUtf8(std::string_view bytes);

// The socket path of the pipe "\\.\pipe\NAME": EndpointPath(NAME). Empty
// when the name is not a pipe name or EndpointPath is empty.
std::string PipeSocketPath(const char16_t* pipeName);

}  // namespace os::posix

#pragma once
// sway's IPC, which other wlroots desktops speak too: messages over the UNIX socket named by
// SWAYSOCK, each the text "i3-ipc", the payload's length and its type (32 bits each, in the
// machine's byte order: both ends are on this machine) and the payload, JSON in replies.
// Replies and events come in the same form; an event's type has the top bit set. A message
// that is cut short, too long or not of this form is an error that says so, and no read or
// write waits longer than its time limit: a stuck desktop never hangs this program.
#include "platform/posix/unique_fd.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qv::tools {

namespace sway {

inline constexpr std::uint32_t kRunCommand = 0;
inline constexpr std::uint32_t kSubscribe = 2;
inline constexpr std::uint32_t kGetOutputs = 3;
inline constexpr std::uint32_t kGetInputs = 100;

inline constexpr std::uint32_t kWorkspaceEvent = 0x80000000;
inline constexpr std::uint32_t kOutputEvent = 0x80000001;  // sway 1.9 on; earlier ones refuse it
inline constexpr std::uint32_t kShutdownEvent = 0x80000006;
inline constexpr std::uint32_t kInputEvent = 0x80000015;

// The longest payload taken; sway's largest replies (a full tree) stay far below.
inline constexpr std::size_t kMaxPayload = 16u << 20;

}  // namespace sway

class SwayIpcError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct SwayMessage {
  std::uint32_t type = 0;
  std::string payload;
};

// The bytes of one message.
std::string swayMessageBytes(std::uint32_t type, std::string_view payload);

// Reads one whole message from fd, waiting at most timeout for it (the descriptor may block
// or not). Throws SwayIpcError when the peer closed, the magic is wrong, the length is over
// sway::kMaxPayload, or the time ran out.
SwayMessage readSwayMessage(int fd, std::chrono::milliseconds timeout);

// One connection to the desktop's IPC socket.
class SwayIpc {
public:
  // Throws SwayIpcError when the socket cannot be reached.
  explicit SwayIpc(const std::string& socketPath);

  // Sends a message and returns its reply's payload. On a connection that is subscribed to
  // events, use send() and next() instead.
  std::string request(std::uint32_t type, std::string_view payload = {});

  void send(std::uint32_t type, std::string_view payload);
  SwayMessage next();

  int fd() const { return fd_.get(); }

private:
  platform::UniqueFd fd_;
};

}  // namespace qv::tools

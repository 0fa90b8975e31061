#pragma once
// Window endpoints over Unix stream sockets under the machine root's run/ folder.
//
// A window that other programs may find listens on run/<class>@<title>; finding it is a
// connect that succeeds. A message is one 16-byte frame, integers little-endian:
//   u32 message | u32 wParam | u32 lParam | u32 mode (0 posted, 1 sent)
// and a sent message is answered with u32 result once the receiver has handled it.
#include "platform/window_messages.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qv::platform {

enum class FrameMode : std::uint32_t { Posted = 0, Sent = 1 };

inline constexpr std::size_t kFrameSize = 16;
using FrameBytes = std::array<std::uint8_t, kFrameSize>;

FrameBytes encodeFrame(const WindowMessage& msg, FrameMode mode);
// nullopt when the mode field is neither posted nor sent.
std::optional<std::pair<WindowMessage, FrameMode>> decodeFrame(const FrameBytes& bytes);

// One part of an endpoint's file name: '%' -> "%25", '/' -> "%2F" (and a NUL byte, which
// no file name may hold, -> "%00"). Everything else is kept as it is.
std::string escapeEndpointPart(std::string_view part);
// <root>/run/<escaped class>@<escaped title>
std::filesystem::path endpointPath(std::string_view className, std::string_view title);

// How long send() waits for a connection and for the receiver's answer. Generous, so that
// a receiver showing a dialog in its handler is still waited for, but finite, so that a
// hung receiver cannot freeze the sender for ever; after it send() gives up (nullopt).
inline constexpr std::chrono::milliseconds kDefaultSendLimit{30'000};
// How long finding a window or handing it a message waits for the connection itself.
// Connecting waits only while the listener's queue of connections not yet taken is full,
// which its own thread keeps from happening unless it is flooded or no longer runs: such
// a window counts as absent at once rather than freezing the sender for the send limit.
inline constexpr std::chrono::milliseconds kConnectLimit{500};

class UnixWindowMessenger final : public WindowMessenger {
public:
  explicit UnixWindowMessenger(std::chrono::milliseconds sendLimit = kDefaultSendLimit)
      : sendLimit_(sendLimit) {}

  bool windowExists(std::string_view className, std::string_view title) override;
  bool post(std::string_view className, std::string_view title, WindowMessage msg) override;
  // A window served by the calling thread's own event loop cannot answer while that thread
  // waits here: such a send ends after the limit with nullopt. Post to such windows instead.
  std::optional<std::uint32_t> send(std::string_view className, std::string_view title,
                                    WindowMessage msg) override;

private:
  std::chrono::milliseconds connectLimit() const { return std::min(sendLimit_, kConnectLimit); }

  std::chrono::milliseconds sendLimit_;
};

// A connection is served only while it keeps its peer's pace: a frame that does not arrive
// whole within this time (after the connection was accepted or its previous frame was
// handled) ends the connection, and so does an answer the peer does not take within it.
inline constexpr std::chrono::milliseconds kFrameReadLimit{2'000};

class UnixWindowEndpointFactory final : public WindowEndpointFactory {
public:
  // Listens on the endpoint's socket from a thread of its own that reads all connections
  // at once, so one slow peer delays no other, and hands each message to the loop's
  // thread in the order the messages arrived whole. Fails (nullptr, error text) when the path is too
  // long for a socket, when another live listener already answers on it, or when the
  // socket cannot be set up. A stale socket file left by a dead listener is replaced.
  std::unique_ptr<WindowEndpoint> listen(std::string_view className, std::string_view title,
                                         EventLoop& loop, WindowEndpoint::Handler handler,
                                         std::string* error = nullptr) override;
};

}  // namespace qv::platform

#pragma once
// The listening side of a window endpoint: one thread that accepts the endpoint's
// connections and reads all of them at the same time, each with its own deadline, so that
// a slow or stalled peer holds up nobody but itself. Every complete frame goes to the
// window's loop in the order the frames completed; a sent message is answered on its own
// connection once the loop has handled it.
#include "platform/posix/unique_fd.h"
#include "platform/window_messages.h"

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace qv::platform {

// At most this many connections are served at once; further ones wait in the socket's
// queue until a served one ends. Bounds the descriptors one endpoint can take.
inline constexpr std::size_t kMaxEndpointConnections = 128;
// Frames handed to the loop and not yet handled. While the loop is this far behind, no
// connection is read (its peer waits in its own send), so a flood cannot pile up memory.
inline constexpr std::size_t kMaxQueuedFrames = 1024;

// Serves the bound, listening socket at path (identity: its file's lstat) until the
// returned endpoint is destroyed, which also removes the socket file while it is still
// that socket. nullptr (error text in *error) when the thread's events cannot be made.
std::unique_ptr<WindowEndpoint> serveWindowEndpoint(std::filesystem::path path, UniqueFd listener,
                                                    const struct stat& identity, EventLoop& loop,
                                                    WindowEndpoint::Handler handler, std::string* error);

}  // namespace qv::platform

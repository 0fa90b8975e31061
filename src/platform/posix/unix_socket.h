#pragma once
// What the programs' Unix stream sockets share: the address of a socket file, a connect
// whose wait is bounded, and sending and receiving whole byte runs before a deadline.
// Every call here retries after a signal, and sending never raises SIGPIPE.
#include "platform/posix/unique_fd.h"

#include <sys/un.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace qv::platform {

using SocketClock = std::chrono::steady_clock;

// Fills addr with path; false when the path does not fit a socket address.
bool unixSocketAddress(const std::filesystem::path& path, sockaddr_un& addr);

// A blocking stream socket connected to path, or an empty UniqueFd when nobody listens
// there or the path does not fit (errno then says why: ENAMETOOLONG for a path that does
// not fit). A listener whose queue is full makes connect wait; the wait ends after limit
// (at least a millisecond: the socket option that bounds it takes zero as "for ever").
UniqueFd connectUnixSocket(const std::filesystem::path& path, std::chrono::milliseconds limit);

// Waits until fd is ready for events (or reports an error or hang-up, which the next call
// on it sees). False when the deadline passes first or, with stopFd >= 0, when stopFd
// becomes readable.
// The poll() time-out that wakes at wakeAt (never when it is time_point::max()), rounded
// up so a deadline is never seen as not yet reached, and at most a minute.
int pollTimeoutUntil(SocketClock::time_point wakeAt, SocketClock::time_point now);

bool waitUntilReady(int fd, short events, SocketClock::time_point deadline, int stopFd = -1);

// Sends all size bytes; false when the connection fails, the deadline passes or stopFd
// (when >= 0) becomes readable. The socket's own blocking mode does not matter.
bool sendAll(int fd, const std::uint8_t* data, std::size_t size, SocketClock::time_point deadline,
             int stopFd = -1);

enum class ReceiveResult {
  Done,    // all bytes arrived
  Closed,  // the peer closed the connection before sending any of them
  Broken,  // anything else: a cut-off run, the deadline, the stop event, an error
};

// Receives exactly size bytes. The socket's own blocking mode does not matter.
ReceiveResult receiveExactly(int fd, std::uint8_t* data, std::size_t size,
                             SocketClock::time_point deadline, int stopFd = -1);

}  // namespace qv::platform

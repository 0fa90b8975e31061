#pragma once
// The connections to the driver's device: what each has sent and is owed, reading and
// writing them without blocking, and which may be closed to make room. A connection is
// closed by the driver only when it is malformed or, while the driver needs room, idle
// for longer than a caller waits for a reply.
#include "driver_model.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/unique_fd.h"

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <vector>

namespace qv::driverd {

using ClientClock = std::chrono::steady_clock;

// Bytes kept from a client whose current request is not answered yet.
inline constexpr std::size_t kMaxBuffered = 1024 * 1024;
// Connections served at once. Beyond it, only a connection idle for longer than a caller
// waits for a reply may be closed to make room; live ones never are, and newcomers wait in
// the socket's queue until room comes.
inline constexpr std::size_t kMaxClients = 256;
inline constexpr auto kIdleLimit = platform::SocketDeviceIo::kDefaultReplyTimeout;

struct Client {
  Client(platform::UniqueFd connection, std::uint64_t number) : fd(std::move(connection)), id(number) {}
  platform::UniqueFd fd;
  std::uint64_t id;
  std::vector<std::uint8_t> in;
  std::vector<std::uint8_t> out;
  bool held = false;           // the current request is never answered; later ones wait forever
  bool awaitingStore = false;  // the current request's reply waits for the store writer
  bool awaitingInput = false;  // the current request (InitializeDriver) waits for the controller's answer
  bool dropped = false;        // closed; removed from the list after this round
  bool readEnded = false;      // the client sent all it will send; it still gets what it is owed
  ClientClock::time_point lastHeard = ClientClock::now();

  // A reply is owed that waits for something else than the client.
  bool owed() const { return awaitingStore || awaitingInput; }
  // Nothing heard and nothing owed for longer than a caller waits for a reply.
  bool idleAt(ClientClock::time_point now) const { return !owed() && now - lastHeard > kIdleLimit; }
  // A client that sent its last bytes is done once its replies have gone out.
  bool finished() const { return readEnded && !owed() && out.empty(); }
};

// Sends what is queued for the client; false when the connection is gone.
bool flush(Client& c);

// Queues the reply frame; the client counts as heard from just now.
void queueReply(Client& c, const Reply& reply);

enum class Received { More, Ended, Broken };
// Reads what the client sent so far.
Received receive(Client& c);

std::size_t liveClients(const std::list<Client>& clients);
// Closes the connection idle for longest, when one is idle past the limit.
bool closeIdleClient(std::list<Client>& clients, ClientClock::time_point now);
// True while there is room for another connection, making it from an idle one if need be.
bool roomForAnother(std::list<Client>& clients, ClientClock::time_point now);
// Whether a newcomer could be taken now; when not, wakeAt is moved to the time when the
// quietest connection that owes nothing may be closed.
bool roomAt(const std::list<Client>& clients, ClientClock::time_point now, ClientClock::time_point& wakeAt);

}  // namespace qv::driverd

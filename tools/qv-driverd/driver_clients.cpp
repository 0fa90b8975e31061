#include "driver_clients.h"

#include "platform/little_endian.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace qv::driverd {

bool flush(Client& c) {
  while (!c.out.empty()) {
    const ssize_t n = ::send(c.fd.get(), c.out.data(), c.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.out.erase(c.out.begin(), c.out.begin() + n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return true;  // the rest goes when poll says the client can take it
    } else {
      return false;
    }
  }
  return true;
}

void queueReply(Client& c, const Reply& reply) {
  platform::appendLe32(c.out, reply.ok ? 1 : 0);
  platform::appendLe32(c.out, static_cast<std::uint32_t>(reply.bytes.size()));
  c.out.insert(c.out.end(), reply.bytes.begin(), reply.bytes.end());
  c.lastHeard = ClientClock::now();  // answered just now: not idle
}

Received receive(Client& c) {
  std::uint8_t buf[4096];
  for (;;) {
    const ssize_t n = ::recv(c.fd.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      c.lastHeard = ClientClock::now();
      c.in.insert(c.in.end(), buf, buf + n);
      if (c.in.size() > kMaxBuffered) return Received::Broken;
      continue;
    }
    if (n == 0) return Received::Ended;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? Received::More : Received::Broken;
  }
}

std::size_t liveClients(const std::list<Client>& clients) {
  return static_cast<std::size_t>(std::count_if(clients.begin(), clients.end(), [](const Client& c) { return !c.dropped; }));
}

bool closeIdleClient(std::list<Client>& clients, ClientClock::time_point now) {
  Client* quietest = nullptr;
  for (auto& c : clients) {
    if (!c.dropped && c.idleAt(now) && (!quietest || c.lastHeard < quietest->lastHeard)) quietest = &c;
  }
  if (!quietest) return false;
  quietest->dropped = true;
  return true;
}

bool roomForAnother(std::list<Client>& clients, ClientClock::time_point now) {
  return liveClients(clients) < kMaxClients || closeIdleClient(clients, now);
}

bool roomAt(const std::list<Client>& clients, ClientClock::time_point now, ClientClock::time_point& wakeAt) {
  if (liveClients(clients) < kMaxClients) return true;
  for (const auto& c : clients) {
    if (c.dropped) continue;
    if (c.idleAt(now)) return true;
    if (!c.owed()) wakeAt = std::min(wakeAt, c.lastHeard + kIdleLimit + std::chrono::milliseconds(1));
  }
  return false;
}

}  // namespace qv::driverd

#include "kernel_uevents.h"

#include <linux/netlink.h>
#include <sys/socket.h>

#include <array>

namespace qv::tools {

platform::UniqueFd openKernelUevents() {
  platform::UniqueFd fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT));
  if (!fd) return fd;
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = 1;  // the kernel's own events, not udev's
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) fd.reset();
  return fd;
}

std::string ueventSubsystem(std::string_view message) {
  // The first field is "ACTION@DEVPATH"; a message without one is no kernel event.
  const std::size_t first = message.find('\0');
  if (first == std::string_view::npos || message.substr(0, first).find('@') == std::string_view::npos) return {};
  constexpr std::string_view kKey = "SUBSYSTEM=";
  for (std::size_t at = first + 1; at < message.size();) {
    std::size_t end = message.find('\0', at);
    if (end == std::string_view::npos) end = message.size();
    const std::string_view field = message.substr(at, end - at);
    if (field.substr(0, kKey.size()) == kKey) return std::string(field.substr(kKey.size()));
    at = end + 1;
  }
  return {};
}

bool drainUevents(int socket, std::string_view subsystem) {
  bool seen = false;
  std::array<char, 8192> buffer;
  for (;;) {
    sockaddr_nl from{};
    iovec part{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    const ssize_t n = ::recvmsg(socket, &message, 0);
    if (n <= 0) return seen;
    // Only the kernel (port 0) speaks for the hardware; anything else is ignored.
    if (from.nl_pid != 0) continue;
    if (ueventSubsystem(std::string_view(buffer.data(), static_cast<std::size_t>(n))) == subsystem) seen = true;
  }
}

}  // namespace qv::tools

#include "peer_policy.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace qv::driverd {

bool peerAllowed(const PeerPolicy& policy, const PeerCredentials& peer) {
  if (peer.uid == policy.owner) return true;
  if (!policy.sharedGroup) return false;
  const gid_t group = *policy.sharedGroup;
  return peer.uid == 0 || peer.gid == group || std::find(peer.groups.begin(), peer.groups.end(), group) != peer.groups.end();
}

std::optional<PeerCredentials> peerCredentials(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return std::nullopt;
  PeerCredentials peer{cred.uid, cred.gid, {}};
  std::vector<gid_t> groups(64);
  for (int attempt = 0; attempt < 4; ++attempt) {
    socklen_t size = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &size) == 0) {
      groups.resize(size / sizeof(gid_t));
      peer.groups = std::move(groups);
      break;
    }
    if (errno != ERANGE) break;
    groups.resize(size / sizeof(gid_t) + 1);  // the kernel says how much room it needs
  }
  return peer;
}

}  // namespace qv::driverd

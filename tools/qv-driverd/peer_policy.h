#pragma once
// Who may talk to the driver. On a private machine only programs of the driver's own user.
// Installed, the socket is shared with a group (mode 0660): then also root and the
// group's members. Membership is judged by the credentials the peer had when it
// connected (its primary group and the supplementary groups the kernel gives with
// SO_PEERGROUPS), as the kernel judged its right to connect, rather than by the group
// database, which may name members who have not logged in again since they were added
// and whose look-up could block the driver's loop on a network directory.
#include <sys/types.h>

#include <optional>
#include <vector>

namespace qv::driverd {

struct PeerPolicy {
  uid_t owner = 0;                   // the driver's own user
  std::optional<gid_t> sharedGroup;  // the socket's group, when its members may connect
};

struct PeerCredentials {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups
};

bool peerAllowed(const PeerPolicy& policy, const PeerCredentials& peer);

// The credentials of the peer of a connected Unix socket; nullopt when the system does
// not say. Without SO_PEERGROUPS (older kernels) the supplementary groups stay empty.
std::optional<PeerCredentials> peerCredentials(int fd);

}  // namespace qv::driverd

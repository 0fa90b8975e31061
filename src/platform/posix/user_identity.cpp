#include "platform/user_identity.h"

#include "platform/machine_root.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace qv::platform {

std::string currentUserName() {
  const uid_t user = ::getuid();
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name) {
    return found->pw_name;
  }
  return std::to_string(user);
}

std::string groupName(gid_t group) {
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->gr_name) {
    return found->gr_name;
  }
  return std::to_string(group);
}

bool mayChangeMachine() {
  if (privateMachine()) return true;
  // Writers replace the store through its folder, so the folder decides. access() asks with
  // the groups of this login: a member added since then must log in again first.
  return ::access(machineRoot().c_str(), W_OK | X_OK) == 0;
}

}  // namespace qv::platform

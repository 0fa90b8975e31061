#pragma once
// Who runs this program, and what the installed machine lets them do.
#include <string>
#include <sys/types.h>

namespace qv::platform {

// The group whose members configure the installed machine.
inline constexpr const char* kMachineGroup = "quorvane";

// The login name of this process's user; the user id in digits when it has none.
std::string currentUserName();
// The name of a group; the group id in digits when it has none.
std::string groupName(gid_t group);

// True when this user may change the machine's settings: always on a private machine;
// installed, when the machine store's folder lets them write there (members of
// kMachineGroup, as the package sets it up).
bool mayChangeMachine();

}  // namespace qv::platform

#include "app/machine_access.h"

namespace qv::app {

std::string machineRefusalText(std::string_view userName, std::string_view group) {
  const std::string g(group);
  return "You can look at the touch screen's settings but not change them: only members of the group " + g +
         " may.\n\nTo join: sudo adduser " + std::string(userName) + " " + g + ", then log in again.";
}

void tellWriteDenied(const MachineAccess& access, platform::UserPrompts& prompts, std::string_view storeError) {
  if (access.refusal.empty()) {
    prompts.error(storeError);
  } else {
    prompts.notice(access.refusal);
  }
}

bool mayChangeMachine(const MachineAccess& access, platform::UserPrompts& prompts) {
  if (access.mayChange) return true;
  prompts.notice(access.refusal);
  return false;
}

}  // namespace qv::app

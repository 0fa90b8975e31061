#pragma once
// Who may change the machine's settings. A user who may not still sees everything; each
// change of the machine is refused with one message that says what they lack and how to
// get it. The user's own values (double-click, cursor scheme) stay theirs to change.
#include "platform/user_prompts.h"

#include <string>
#include <string_view>

namespace qv::app {

struct MachineAccess {
  bool mayChange = true;
  // What the user is told when a change is refused; empty where no group grants it (a
  // private machine), and a refused write then shows the store's own error.
  std::string refusal;
};

// "You can look at the touch screen's settings but not change them: ..." for userName.
std::string machineRefusalText(std::string_view userName, std::string_view group);

// True when the change may go ahead; otherwise the user is told why (the refusal).
bool mayChangeMachine(const MachineAccess& access, platform::UserPrompts& prompts);

// A change that the store refused because this user may not make it ends here: with the
// refusal where a group grants the change, else with the store's own error.
void tellWriteDenied(const MachineAccess& access, platform::UserPrompts& prompts, std::string_view storeError);

}  // namespace qv::app

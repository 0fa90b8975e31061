#pragma once
// The platform services the main window's logic uses, wired up by the program and
// replaced by fakes in tests.
#include "app/machine_access.h"
#include "driver/driver_channel.h"
#include "platform/programs.h"
#include "platform/registry_store.h"
#include "platform/system_services.h"
#include "platform/user_prompts.h"
#include "platform/window_messages.h"

namespace qv::app {

struct PanelServices {
  platform::RegistryStore& store;
  driver::DriverChannel& driver;
  platform::WindowMessenger& messenger;
  platform::ProgramLauncher& launcher;
  platform::SystemServices& system;
  platform::UserPrompts& prompts;
  // Whether this user may change the machine's settings (a private machine always may).
  MachineAccess access{};
};

}  // namespace qv::app

#pragma once
// An earlier version kept the whole machine in each user's own store, HKEY_LOCAL_MACHINE
// included. The first time a user who may change the machine starts the panel while the
// machine's store holds no settings of its own, the settings key that user's store kept
// is taken into the machine's store, so nothing set before is lost. The machine's store
// then names the user it came from, and no later start takes anything again. The old copy
// stays in the user's file, where nothing reads it any more.
#include "platform/registry_store.h"

#include <string>
#include <string_view>

namespace qv::app {

// The value of the settings key that names whose settings were taken.
inline constexpr std::string_view kTakenFromValue = "Settings Taken From";

enum class UpgradeOutcome {
  Taken,               // the user's settings are the machine's now
  NothingToTake,       // the user's store holds no settings of the machine (or the machine has no settings key)
  MachineHasSettings,  // calibrated, or taken before: left as it is
  Failed,              // a store failed; nothing was written (the error says why)
};

struct UpgradeResult {
  UpgradeOutcome outcome = UpgradeOutcome::NothingToTake;
  std::string error;
};

// machine: the store as the panel uses it (its HKEY_LOCAL_MACHINE is the machine's).
// userFile: the user's own store file read whole. Writes at most once, all values or none.
UpgradeResult takeOverUserSettings(platform::RegistryStore& machine, platform::RegistryStore& userFile,
                                   std::string_view userName);

}  // namespace qv::app

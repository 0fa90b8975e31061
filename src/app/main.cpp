// The Quorvane Control Panel: builds the main window over this machine's services and
// runs the message loop until the window closes.
#include "app/application_start.h"
#include "app/machine_access.h"
#include "app/settings_upgrade.h"
#include "app/main_form.h"
#include "app/panel_application.h"
#include "app/program_state.h"
#include "app/startup_report.h"
#include "app/startup_windows.h"
#include "calibration/calibration_limits.h"
#include "cli/command_line.h"
#include "driver/driver_channel.h"
#include "platform/machine_root.h"
#include "platform/posix/posix_program_launcher.h"
#include "platform/posix/system_store.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/store_system_services.h"
#include "platform/posix/unix_window_endpoints.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_system_hooks.h"
#include "platform/qt/qt_user_prompts.h"
#include "platform/user_identity.h"
#include "settings/value_names.h"

#include <QPointer>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

namespace {

constexpr qv::cli::Program kProgram{"quorvane-panel", R"(Usage: quorvane-panel
The Quorvane Control Panel: sets up the touch-screen controller's serial port, the
driver's calibration, double-click and cursor settings, and tests the touch screen.
It needs a display. The touch screen's settings are the machine's, in
/var/lib/quorvane/registry.reg: members of the group quorvane change them, everyone
else may look. Your own double-click and cursor settings are yours, in
${XDG_DATA_HOME:-~/.local/share}/quorvane/registry.reg. With QUORVANE_HOME set, that
one folder plays the whole machine instead (tests, the demo).

Options:
  --help     show this text
  --version  show the version
)"};

// The settings an earlier per-user installation kept in this user's store become the
// machine's when the machine has none, and the running driver takes them up at once (its
// port and its calibration); a failure leaves both stores as they were.
void takeOverOldSettings(qv::platform::RoutedRegistryStore& store, qv::driver::DriverChannel& driver,
                         const std::string& userName) {
  const qv::app::UpgradeResult result = qv::app::takeOverUserSettings(store, store.userFile(), userName);
  if (result.outcome == qv::app::UpgradeOutcome::Taken) {
    std::fprintf(stderr, "quorvane-panel: the touch screen's settings from %s are the machine's now (%s)\n",
                 store.userFile().location().c_str(), store.fileOf(qv::platform::RegistryRoot::LocalMachine).location().c_str());
    if (auto session = driver.open()) session->initializeDriver(qv::calibration::storedCalibration(store));
  } else if (result.outcome == qv::app::UpgradeOutcome::Failed) {
    std::fprintf(stderr, "quorvane-panel: the earlier settings could not be taken over: %s\n", result.error.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  if (auto status = cli::takeNoArguments(kProgram, argc, argv)) return *status;
  const std::unique_ptr<app::PanelApplication> application = app::startApplicationOrExit(argc, argv);
  platform::QtUserPrompts prompts{std::string(app::kApplicationTitle)};
  try {
    const std::unique_ptr<platform::RoutedRegistryStore> opened = platform::openSystemStore();
    platform::RoutedRegistryStore& store = *opened;
    const std::string userName = platform::currentUserName();
    app::MachineAccess access{platform::mayChangeMachine(), platform::privateMachine()
                                                                ? std::string()
                                                                : app::machineRefusalText(userName, platform::kMachineGroup)};
    platform::SocketDeviceIo deviceIo;
    driver::DriverChannel driver(deviceIo);
    if (!store.oneFile()) {
      if (access.mayChange) takeOverOldSettings(store, driver, userName);
      // Every user has a cursor scheme; one new to this machine starts with an empty one.
      store.createKey(platform::RegistryRoot::CurrentUser, settings::kCursorsKey);
    }
    platform::UnixWindowMessenger messenger;
    platform::UnixWindowEndpointFactory endpoints;
    platform::PosixProgramLauncher launcher;
    // The screen size is that of the monitor holding the main window, once there is one.
    QPointer<QWidget> mainWindow;
    platform::StoreSystemServices system(store, platform::qtSystemHooks([&mainWindow] { return mainWindow.data(); }));
    platform::QtEventLoop loop;

    if (auto problem = platform::socketPathProblem(platform::driverDevicePath())) {
      // Every open of the driver would fail as if it were absent: say why, once.
      std::fprintf(stderr, "quorvane-panel: the driver cannot be reached: %s\n", problem->c_str());
    }

    // The program-wide state, handed to every window and procedure that uses it.
    app::ProgramState state;
    app::TMainForm::Options options;
    options.state = &state;
    options.endpoints = &endpoints;
    options.loop = &loop;
    app::TMainForm mainForm({store, driver, messenger, launcher, system, prompts, access}, std::move(options));
    mainWindow = &mainForm;
    if (mainForm.load() == app::LoadOutcome::Refused) {
      if (platform::privateMachine() && !std::filesystem::exists(platform::registryFile())) {
        // No machine root was ever made here: say what makes one.
        std::fprintf(stderr, "quorvane-panel: no machine root in %s: run qv-make-machine, then qv-driverd &\n",
                     platform::machineRoot().c_str());
      }
      return 1;
    }
    if (!mainForm.endpointProblem().empty()) {
      // Other programs cannot reach the window; it works all the same.
      std::fprintf(stderr, "quorvane-panel: %s\n", mainForm.endpointProblem().c_str());
    }
    const app::StartupWindows windows = app::createStartupWindows(mainForm);
    app::installStartupActions(mainForm, mainForm.tabs());
    mainForm.show();
    return application->exec();
  } catch (const std::exception& e) {
    // An error while the windows are built ends the program before anything is shown.
    prompts.error(e.what());
    return 1;
  }
}

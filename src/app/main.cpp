// The Quorvane Control Panel: builds the main window over this machine's services and
// runs the message loop until the window closes.
#include "app/application_start.h"
#include "app/main_form.h"
#include "app/panel_application.h"
#include "app/program_state.h"
#include "app/startup_report.h"
#include "app/startup_windows.h"
#include "cli/command_line.h"
#include "driver/driver_channel.h"
#include "platform/machine_root.h"
#include "platform/posix/posix_program_launcher.h"
#include "platform/posix/registry_file_store.h"
#include "platform/posix/socket_device_io.h"
#include "platform/posix/store_system_services.h"
#include "platform/posix/unix_window_endpoints.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_system_hooks.h"
#include "platform/qt/qt_user_prompts.h"

#include <QPointer>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

namespace {

constexpr qv::cli::Program kProgram{"quorvane-panel", R"(Usage: quorvane-panel
The Quorvane Control Panel: sets up the touch-screen controller's serial port, the
driver's calibration, double-click and cursor settings, and tests the touch screen.
It works on the machine root named by QUORVANE_HOME (by default
${XDG_DATA_HOME:-~/.local/share}/quorvane) and needs a display.

First start: logging in starts the driver stand-in, which makes your machine root
from the installed profile. Where no user services run at login (no systemd), run
first, once:
  qv-make-machine
and then start the driver stand-in with each session:
  qv-driverd &

Options:
  --help     show this text
  --version  show the version
)"};

}  // namespace

int main(int argc, char** argv) {
  using namespace qv;
  if (auto status = cli::takeNoArguments(kProgram, argc, argv)) return *status;
  const std::unique_ptr<app::PanelApplication> application = app::startApplicationOrExit(argc, argv);
  platform::QtUserPrompts prompts{std::string(app::kApplicationTitle)};
  try {
    platform::RegistryFileStore store;
    platform::SocketDeviceIo deviceIo;
    driver::DriverChannel driver(deviceIo);
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
    app::TMainForm mainForm({store, driver, messenger, launcher, system, prompts}, std::move(options));
    mainWindow = &mainForm;
    if (mainForm.load() == app::LoadOutcome::Refused) {
      if (!std::filesystem::exists(platform::registryFile())) {
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

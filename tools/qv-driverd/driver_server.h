#pragma once
// The driver's device served on a Unix stream socket: several clients at once, one
// poll loop, each connection's requests answered in order. Connections are served
// independently: InitializeDriver's store write runs on a thread of its own, so a store
// locked by another program delays only that request's reply. Who may connect is said in
// peer_policy.h. At start the driver initialises its input before it serves: `Vxd Init`
// says whether the controller answered (input_link.h). Every request and everything else the driver has to say goes to
// its log (driver_log.h); touches take the touch road (touch_road.h).
#include "driver_model.h"
#include "platform/posix/unique_fd.h"
#include "platform/registry_store.h"
#include "touch_road.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace qv::driverd {

// The log path that sends the log to standard error (the journal, for the service).
inline constexpr const char* kLogToStandardError = "-";

struct ServerOptions {
  std::filesystem::path socketPath;
  std::filesystem::path logPath;
  ModelBehaviour behaviour;
  std::string initFailureText = "Failed";  // `Vxd Init` when initialising fails
  std::optional<std::uint32_t> holdCode;   // requests with this code are never answered
  bool sharedSocket = false;               // the socket's group may connect too (installed)
  std::chrono::milliseconds probeWait = kProbeWait;  // how long the controller has to answer
  bool logTimes = false;                   // end each log line with its CLOCK_MONOTONIC time
};

class DriverServer {
public:
  // store may be null: InitializeDriver then cannot record its outcome and fails.
  // options.behaviour.trueLimits set means a touch screen is played: a touch input that
  // cannot be opened then does not make InitializeDriver fail.
  DriverServer(ServerOptions options, platform::RegistryStore* store, DriverIo io = {});
  ~DriverServer();  // removes the socket when it is still ours
  DriverServer(const DriverServer&) = delete;
  DriverServer& operator=(const DriverServer&) = delete;

  // Takes the socket, and the instance lock unless heldLock is it (takeInstanceLock).
  // Blocks the stop signals for this thread, which then end run(). An error text when it
  // cannot serve (another driver is live, path too long, ...).
  std::optional<std::string> start(platform::UniqueFd heldLock = platform::UniqueFd());
  // Serves until SIGTERM or SIGINT. 0 on a clean stop.
  int run();

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qv::driverd

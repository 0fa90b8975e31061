#pragma once
// The driver's device served on a Unix stream socket: several clients at once, one
// poll loop, each connection's requests answered in order. Connections are served
// independently: InitializeDriver's store write runs on a thread of its own, so a store
// locked by another program delays only that request's reply. Only peers of the driver's
// own user are served. Every request and everything else the driver has to say goes to
// its log (driver_log.h); touches take the touch road (touch_road.h).
#include "driver_model.h"
#include "platform/registry_store.h"
#include "touch_road.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace qv::driverd {

struct ServerOptions {
  std::filesystem::path socketPath;
  std::filesystem::path logPath;
  ModelBehaviour behaviour;
  std::string initFailureText = "Failed";  // `Vxd Init` when initialising fails
  std::optional<std::uint32_t> holdCode;   // requests with this code are never answered
  bool initialiseAtStart = false;          // write `Vxd Init` = "Success" before serving
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

  // Takes the socket. Blocks SIGTERM and SIGINT for this thread, which then end run().
  // An error text when it cannot serve (another driver is live, path too long, ...).
  std::optional<std::string> start();
  // Serves until SIGTERM or SIGINT. 0 on a clean stop.
  int run();

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qv::driverd

#pragma once
// The driver's device served on a Unix stream socket: several clients at once, one
// poll loop, each connection's requests answered in order. Connections are served
// independently: InitializeDriver's store write runs on a thread of its own, so a store
// locked by another program delays only that request's reply. Only peers of the driver's
// own user are served, and a connection is closed by the driver only when it is malformed
// or, while the driver needs room, idle for longer than a caller waits for a reply.
// Every request is appended to a log file as one line:
//   <code, 8 hex digits> <input bytes in hex, or -> <ok|fail|held>
// and everything else the driver has to say (its touch input, beeps, what it skipped)
// as a line that starts with "# ".
//
// Touches from the touch input (read in the same poll loop) and injected ones take one
// road: the model's raw reading and counters, then the pointer output and the beeper.
#include "beeper.h"
#include "driver_model.h"
#include "platform/registry_store.h"
#include "pointer_output.h"
#include "touch_input.h"

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

// What the driver reads touches from and gives them to; each may be missing.
struct DriverIo {
  std::unique_ptr<TouchInput> input;      // none: touches only come injected
  std::unique_ptr<PointerOutput> output;  // none: touches reach no pointer device
  std::string whyNoOutput;                // said once at start when output is missing
  std::unique_ptr<Beeper> beeper;         // none: beeps are only logged
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

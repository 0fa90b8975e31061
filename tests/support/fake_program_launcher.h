#pragma once
// A ProgramLauncher for tests: records the commands it was asked to start and the
// restart requests, and answers with configurable results. Nothing is ever run.
#include "platform/programs.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

class FakeProgramLauncher final : public platform::ProgramLauncher {
public:
  // Called for every start request after it was recorded (e.g. to make the started
  // program's window appear in a RecordingWindowMessenger).
  using StartReaction = std::function<void(const std::string& command)>;

  void setStartResult(std::uint32_t result);  // default 33 (success)
  void setRestartResult(bool result);         // default true
  void setStartReaction(StartReaction reaction);

  std::vector<std::string> commands() const;
  int restartRequests() const;
  void clear();
  // Watched programs run until watchedEnd is set, then end with it as their reason.
  std::optional<std::string> watchedEnd;
  int watchedStops = 0;

  std::uint32_t startProgram(std::string_view command) override;
  platform::WatchedStart startWatchedProgram(std::string_view command) override;
  bool requestRestart() override;

private:
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
  int restarts_ = 0;
  std::uint32_t startResult_ = 33;
  bool restartResult_ = true;
  StartReaction reaction_;
};

}  // namespace qv::test
